// Processor time of a running capture graph (640x480, 30 frames per second,
// a moving YUY2 test device) against the bare gst-launch-1.0 pipeline of the
// same source and conversion, each measured over the same window. The
// "time" of every benchmark is the processor time its pipeline used; both
// run at the same time in every benchmark, and each reports its own side.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "capture/capture_graph.h"
#include "capture/device_chooser.h"
#include "capture/graph_state.h"
#include "capture/worker_control.h"
#include "events/diary_event.h"
#include "platform/clock.h"
#include "platform/prompts.h"
#include "platform/stop_signal.h"
#include "settings/shared_settings.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kWarmUp = 1s;
constexpr auto kWindow = 3s;
constexpr auto kDisplayPeriod = 16ms;  // a 60 Hz display

// Run time of every thread of a process, in nanoseconds.
double ProcessCpuNs(pid_t pid) {
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    double total = 0;
    if (DIR* tasks = opendir(dir.c_str())) {
        while (dirent* entry = readdir(tasks)) {
            if (entry->d_name[0] == '.') continue;
            std::ifstream stat(dir + "/" + entry->d_name + "/schedstat");
            double run_ns = 0;
            if (stat >> run_ns) total += run_ns;
        }
        closedir(tasks);
    }
    return total;
}

class QuietPrompts final : public Prompts {
public:
    void ShowMessage(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return true; }
};

class NoWorker final : public WorkerControl {
public:
    bool StartDiaryWorker() override { return false; }
    void StopDiaryWorker() override {}
    void ReopenDiaryWorker() override {}
};

class PreviewWindow final : public CaptureWindow {
public:
    void PostTitle(const std::string&) override {}
    void PostPreviewSource(std::shared_ptr<PreviewSource> source) override {
        preview = std::move(source);
    }
    std::shared_ptr<PreviewSource> preview;
};

pid_t StartGstLaunch() {
    const pid_t child = fork();
    if (child == 0) {
        execlp("gst-launch-1.0", "gst-launch-1.0", "-q", "videotestsrc", "is-live=true",
               "pattern=ball", "!",
               "video/x-raw,format=YUY2,width=640,height=480,framerate=10000000/333333", "!",
               "videoconvert", "!", "video/x-raw,format=BGR", "!", "fakesink",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    return child;
}

// Runs our graph and the bare pipeline side by side, so that both see the
// same load of the machine, and reports one of them.
void RunSideBySide(benchmark::State& state, bool watched, bool report_floor) {
    ::setenv("QUILLOMAT_TEST_DEVICES", "Bench", 1);
    GraphState graph_state;
    SharedSettings settings;
    settings.Update([](DiarySettings& s) {
        s.SELECT = "Bench";
        s.WIDTH = 640;
        s.HEIGHT = 480;
        s.FRAMERATE = 333333;
    });
    NoWorker worker;
    QuietPrompts prompts;
    AutomaticDeviceChooser chooser;
    PreviewWindow window;
    StopSignal stop;
    NoEventPublisher events;
    CaptureGraph graph(CaptureGraphServices{graph_state, settings, worker, prompts, chooser,
                                            nullptr, window, SystemClockInstance(), stop, events,
                                            false});
    if (!graph.BuildCaptureGraph(true, false)) {
        state.SkipWithError("no graph");
        return;
    }
    const pid_t floor = StartGstLaunch();
    if (floor < 0) {
        state.SkipWithError("fork failed");
        return;
    }
    std::atomic<bool> done{false};
    std::atomic<int> shown{0};
    std::thread viewer;
    if (watched) {
        // Pulls at the display rate and reads each frame as a painter would.
        viewer = std::thread([&] {
            std::uint64_t last = 0;
            while (!done.load()) {
                if (auto frame = window.preview->TakePreviewFrame(last)) {
                    last = frame->sequence;
                    std::uint32_t sum = 0;
                    for (int y = 0; y < frame->height; y += 8)
                        sum += frame->pixels[frame->stride * y];
                    benchmark::DoNotOptimize(sum);
                    shown.fetch_add(1);
                }
                std::this_thread::sleep_for(kDisplayPeriod);
            }
        });
    }
    std::this_thread::sleep_for(kWarmUp);
    const pid_t measured = report_floor ? floor : getpid();
    for (auto _ : state) {
        const double before = ProcessCpuNs(measured);
        std::this_thread::sleep_for(kWindow);
        state.SetIterationTime((ProcessCpuNs(measured) - before) / 1e9);
    }
    done.store(true);
    if (viewer.joinable()) viewer.join();
    kill(floor, SIGTERM);
    waitpid(floor, nullptr, 0);
    if (watched && !report_floor) state.counters["preview_frames"] = shown.load();
    graph.ReleaseCaptureGraph();
}

void BM_CaptureGraphWatched(benchmark::State& state) { RunSideBySide(state, true, false); }
void BM_CaptureGraphWatched_Floor(benchmark::State& state) { RunSideBySide(state, true, true); }
void BM_CaptureGraphUnwatched(benchmark::State& state) { RunSideBySide(state, false, false); }
void BM_CaptureGraphUnwatched_Floor(benchmark::State& state) { RunSideBySide(state, false, true); }

}  // namespace

BENCHMARK(BM_CaptureGraphWatched)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CaptureGraphWatched_Floor)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CaptureGraphUnwatched)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CaptureGraphUnwatched_Floor)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

// The settle wait's extra wall time per interval picture: the picture
// store's grab on a stopped graph (as every grab of a diary in the tray or
// headless starts the camera), with the settle wait (SETTLE_MAX_MS 3000)
// and without it (0, the floor), interleaved so that both see the same load.
// Test camera "Cam:bars:warmup=1500" fades in over 1.5 s after every start;
// "Cam" starts settled, where the wait should cost only a few frames. 320 x
// 240 at 30 frames a second, the designed delays. The counters give the
// difference of the means in milliseconds and in frames.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <vector>

#include "capture/capture_graph.h"
#include "capture/device_chooser.h"
#include "capture/frame_grab.h"
#include "capture/graph_state.h"
#include "capture/worker_control.h"
#include "events/diary_event.h"
#include "platform/clock.h"
#include "platform/prompts.h"
#include "platform/stop_signal.h"
#include "settings/shared_settings.h"

namespace {

constexpr double kFrameMs = 1000.0 / 30.0;

class QuietPrompts final : public Prompts {
public:
    void ShowMessage(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return false; }
};

class NoWorker final : public WorkerControl {
public:
    bool StartDiaryWorker() override { return false; }
    void StopDiaryWorker() override {}
    void ReopenDiaryWorker() override {}
};

class NoWindow final : public CaptureWindow {
public:
    void PostTitle(const std::string&) override {}
    void PostPreviewSource(std::shared_ptr<PreviewSource>) override {}
};

void Grabs(benchmark::State& state, const char* device, bool report_floor) {
    ::setenv("QUILLOMAT_TEST_DEVICES", device, 1);
    ::setenv("QUILLOMAT_TEST_DEVICE_PLUGIN", QUILLOMAT_TEST_DEVICE_PLUGIN, 0);
    GraphState graph_state;
    // The store's grab stops the graph again afterwards, so each starts it.
    graph_state.minimised = true;
    SharedSettings settings;
    settings.Update([](DiarySettings& s) {
        s.SELECT = "Cam";
        s.WIDTH = 320;
        s.HEIGHT = 240;
        s.FRAMERATE = 333333;
    });
    NoWorker worker;
    QuietPrompts prompts;
    AutomaticDeviceChooser chooser;
    NoWindow window;
    StopSignal stop;
    NoEventPublisher events;
    CaptureGraph graph(CaptureGraphServices{graph_state, settings, worker, prompts, chooser,
                                            nullptr, window, SystemClockInstance(), stop, events,
                                            false});
    if (!graph.BuildCaptureGraph(true, false)) {
        state.SkipWithError("no graph");
        return;
    }
    graph.StopWhenReady();
    std::vector<std::uint8_t> frame;
    const auto grab = [&](std::uint32_t settle_max_ms) {
        const GrabContext context{graph, graph_state, SystemClockInstance(),
                                  stop,  {},          settle_max_ms};
        const auto begun = std::chrono::steady_clock::now();
        const GrabResult result =
            GrabFreshFrame(context, GrabCaller::kPictureStore, [&](std::size_t size) {
                frame.resize(size);
                return frame.data();
            });
        if (result.outcome != GrabOutcome::kFresh) state.SkipWithError("no fresh frame");
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
    };
    double settled = 0;
    double unsettled = 0;
    for (auto _ : state) {
        const double with_wait = grab(kDefaultSettleMaxMs);
        const double without = grab(0);
        settled += with_wait;
        unsettled += without;
        state.SetIterationTime(report_floor ? without : with_wait);
    }
    if (!report_floor && state.iterations() > 0) {
        const double extra_ms =
            (settled - unsettled) * 1000 / static_cast<double>(state.iterations());
        state.counters["extra_ms"] = extra_ms;
        state.counters["extra_frames"] = extra_ms / kFrameMs;
    }
    graph.ReleaseCaptureGraph();
}

void BM_SettleWaitDarkStart(benchmark::State& state) {
    Grabs(state, "Cam:bars:warmup=1500", false);
}
void BM_SettleWaitDarkStart_Floor(benchmark::State& state) {
    Grabs(state, "Cam:bars:warmup=1500", true);
}
void BM_SettleWaitSettledStart(benchmark::State& state) { Grabs(state, "Cam", false); }
void BM_SettleWaitSettledStart_Floor(benchmark::State& state) { Grabs(state, "Cam", true); }

}  // namespace

BENCHMARK(BM_SettleWaitDarkStart)->Iterations(4)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SettleWaitDarkStart_Floor)
    ->Iterations(4)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SettleWaitSettledStart)->Iterations(4)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SettleWaitSettledStart_Floor)
    ->Iterations(4)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

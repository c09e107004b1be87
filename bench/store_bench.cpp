// What the flushes to the disk add to a store: StorePicture of a 640x480
// frame with the time text, JPEG file, day page and index page, once with the
// flushes (file before its rename, folder after) and once without them (the
// floor), in the same run. And what the diary events add: the same store
// without flushes with one job subscribed, against none (its floor), and the
// events of one store published alone. And what a picture command that does
// nothing adds in processor time, against the store's own (its floor).
// Wall time and processor time are both reported;
// the worker runs at idle priority, so processor time is what other programs
// feel. The diary goes to the system's temporary folder, or to the current
// folder when that is a tmpfs (where a flush costs nothing).
#include <benchmark/benchmark.h>
#include <linux/magic.h>
#include <sys/vfs.h>

#include <QGuiApplication>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "capture/frame_source.h"
#include "capture/graph_state.h"
#include "diary/picture_store.h"
#include "event_commands/event_commands.h"
#include "event_commands/event_commands_settings.h"
#include "events/diary_events.h"
#include "log/diary_notice.h"
#include "platform/atomic_file.h"
#include "platform/clock.h"
#include "platform/stop_signal.h"
#include "processor_time.h"
#include "settings/shared_settings.h"
#include "web/web_pages.h"

namespace {

namespace fs = std::filesystem;

// A camera whose every copy is a new frame.
class MovingSource final : public FrameSource {
public:
    explicit MovingSource(FrameFormat format) : format_(format), frame_(format.SizeBytes()) {
        for (int y = 0; y < format.height; ++y) {
            for (int x = 0; x < format.width; ++x) {
                std::uint8_t* p = frame_.data() + y * format.Stride() + x * 3;
                p[0] = static_cast<std::uint8_t>(x + y);
                p[1] = static_cast<std::uint8_t>((x * y) >> 6);
                p[2] = static_cast<std::uint8_t>(255 - y);
            }
        }
    }
    void SetBufferSamples(bool) override {}
    bool Run() override { return true; }
    bool IsRunning(const StopSignal*) override { return true; }
    void StopWhenReady() override {}
    FrameFormat ConnectedFormat() const override { return format_; }
    bool QueryBufferSize(std::size_t& size) override {
        size = frame_.size();
        return true;
    }
    bool CopyCurrentBuffer(std::uint8_t* destination, std::size_t size) override {
        if (size != frame_.size()) return false;
        ++frame_[0];
        std::memcpy(destination, frame_.data(), size);
        return true;
    }
    bool RebuildGraph(const StopSignal&) override { return true; }
    void ReleaseGraph() override {}

private:
    FrameFormat format_;
    std::vector<std::uint8_t> frame_;
};

// Sleeps take no time; every store is one second later than the one before,
// over the same 100 seconds of one day, so the day keeps 100 pictures.
class SteppingClock final : public Clock {
public:
    std::uint32_t TickMs() override { return tick_; }
    bool SleepMs(std::uint32_t ms, const StopSignal*) override {
        tick_ += ms;
        return false;
    }
    std::tm LocalNow() override {
        std::tm t{};
        t.tm_year = 124;
        t.tm_mon = 2;
        t.tm_mday = 15;
        t.tm_hour = 9;
        t.tm_min = 30 + (step_ % 100) / 60;
        t.tm_sec = (step_ % 100) % 60;
        t.tm_wday = 5;
        ++step_;
        return t;
    }

private:
    std::uint32_t tick_ = 0;
    int step_ = 0;
};

class CountingNotices final : public NoticeSink {
public:
    void Post(int) override { ++count; }
    int count = 0;
};

fs::path DiskFolder() {
    struct statfs info {};
    const fs::path temp = fs::temp_directory_path();
    if (::statfs(temp.c_str(), &info) == 0 && info.f_type == TMPFS_MAGIC) return fs::current_path();
    return temp;
}

class Diary {
public:
    Diary() {
        std::string pattern = (DiskFolder() / "quillomat-store-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        root_ = pattern;
    }
    ~Diary() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    std::string Folder() const { return root_.string() + "/"; }

private:
    fs::path root_;
};

// A job that takes its events and does nothing with them.
class IdleJob final : public DiarySubscriber {
public:
    std::string Name() const override { return "idle"; }
    void Handle(const DiaryEvent&, const StopSignal&) override { handled.fetch_add(1); }
    std::atomic<std::uint64_t> handled{0};
};

void Store(benchmark::State& state, bool flushes, bool subscribed = false) {
    Diary diary;
    MovingSource source({640, 480});
    GraphState graph;
    graph.ready = true;
    SteppingClock clock;
    SharedSettings settings;
    settings.Update([&](DiarySettings& s) { s.SAVE_DIRECTORY = diary.Folder(); });
    CountingNotices notices;
    WebPages pages(notices);
    DiaryEvents events;
    if (subscribed) events.Subscribe(std::make_shared<IdleJob>());
    events.Start();
    PictureStore store(source, graph, clock, settings, pages, notices, {}, &events);
    StopSignal stop;
    SetDiskFlushes(flushes);
    // A full day of 100 pictures before the measured stores.
    for (int i = 0; i < 100; ++i) store.StorePicture(stop);
    for (auto _ : state) {
        if (store.StorePicture(stop) != kStoreOk) state.SkipWithError("the store failed");
    }
    SetDiskFlushes(true);
    if (notices.count != 0) state.SkipWithError("a store reported a failure");
}

void BM_Store(benchmark::State& state) { Store(state, true); }
void BM_Store_Floor(benchmark::State& state) { Store(state, false); }
void BM_StoreWithAJob(benchmark::State& state) { Store(state, false, true); }
void BM_StoreWithAJob_Floor(benchmark::State& state) { Store(state, false, false); }

// What a picture command that does nothing (/bin/true) costs in processor
// time, its own process included: started, looked at as the job does every
// 50 ms and reaped; the floor is the store of that picture (no flushes).
void PictureCommand(benchmark::State& state, bool report_floor) {
    Diary diary;
    MovingSource source({640, 480});
    GraphState graph;
    graph.ready = true;
    SteppingClock clock;
    SharedSettings settings;
    settings.Update([&](DiarySettings& s) {
        s.SAVE_DIRECTORY = diary.Folder();
        s.Section<EventCommandsSettings>().ON_PICTURE = "/bin/true";
    });
    CountingNotices notices;
    WebPages pages(notices);
    PictureStore store(source, graph, clock, settings, pages, notices);
    std::vector<std::string> lines;
    DiaryEvents events;
    EventCommands commands(
        {.settings = settings,
         .events = events,
         .publish = events,
         .clock = clock,
         .post_line = [&](const LogText& line) { lines.push_back(line.designed); }});
    StopSignal stop;
    SetDiskFlushes(false);
    for (int i = 0; i < 100; ++i) store.StorePicture(stop);
    for (auto _ : state) {
        const double before = ProcessorSeconds();
        if (store.StorePicture(stop) != kStoreOk) state.SkipWithError("the store failed");
        const double stored = ProcessorSeconds();
        PictureStored picture;
        picture.path = diary.Folder() + "picture.jpg";
        commands.Handle(picture, stop);
        while (commands.NextWake()) {
            std::this_thread::sleep_for(EventCommands::kLookMs);
            commands.Wake(stop);
        }
        state.SetIterationTime(report_floor ? stored - before : ProcessorSeconds() - stored);
    }
    SetDiskFlushes(true);
    if (!lines.empty()) state.SkipWithError(lines.front().c_str());
}

void BM_PictureCommand(benchmark::State& state) { PictureCommand(state, false); }
void BM_PictureCommand_Floor(benchmark::State& state) { PictureCommand(state, true); }

// The publishing a store does (StoreComing, then PictureStored with its two
// pages), with one job subscribed, on the publishing thread's clock.
void BM_PublishAStoresEvents(benchmark::State& state) {
    DiaryEvents events;
    auto job = std::make_shared<IdleJob>();
    events.Subscribe(job);
    events.Start();
    std::uint64_t published = 0;
    const std::string folder = "/home/someone/.local/share/quillomat/";
    std::tm time{};
    time.tm_year = 124;
    for (auto _ : state) {
        events.Publish(StoreComing{folder});
        events.Publish(PictureStored{folder + "20240315/20240315093005.jpg",
                                     folder,
                                     "20240315",
                                     "20240315093005.jpg",
                                     time,
                                     PictureTrigger::kInterval,
                                     640,
                                     480,
                                     {folder + "20240315/preview.html", folder + "preview.html"}});
        // Well below the queue's cap, so that every event is queued, never
        // refused: the job catches up outside the timing.
        if ((published += 2) % 256 == 0) {
            state.PauseTiming();
            while (job->handled.load() < published) std::this_thread::yield();
            state.ResumeTiming();
        }
    }
    if (events.Dropped("idle") != 0) state.SkipWithError("events were dropped");
}

}  // namespace

BENCHMARK(BM_Store_Floor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Store)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StoreWithAJob_Floor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StoreWithAJob)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PublishAStoresEvents)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PictureCommand_Floor)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PictureCommand)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

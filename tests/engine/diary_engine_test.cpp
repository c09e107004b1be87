#include "engine/diary_engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "../capture/capture_fakes.h"
#include "capture/frame_grab.h"
#include "support/temp_dir.h"

namespace {

// Every swap of the pipeline (the preview source posted or withdrawn) must
// happen while the swapping thread holds the graph lock, so never under a
// grab on another thread.
class LockCheckingWindow final : public CaptureWindow {
public:
    explicit LockCheckingWindow(GraphState*& graph) : graph_(graph) {}
    void PostTitle(const std::string&) override {}
    void PostPreviewSource(std::shared_ptr<PreviewSource>) override {
        ++swaps;
        // Recursive: succeeds when this thread holds the lock or nobody does.
        if (graph_->lock.try_lock()) {
            graph_->lock.unlock();
        } else {
            ++swaps_under_a_foreign_lock;
        }
    }
    std::atomic<int> swaps{0}, swaps_under_a_foreign_lock{0};

private:
    GraphState*& graph_;
};

class QuietPrompts final : public Prompts {
public:
    void ShowMessage(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return false; }
};

// Start, stop, recovery rebuilds and command rebuilds from two threads, while
// the worker grabs and recovers on its own, on a device that never starts and
// one that stalls after two frames. The thread sanitizer checks the rest.
TEST(DiaryEngineStress, StartsStopsRecoveriesAndCommandBuildsFromTwoThreads) {
    constexpr int kRounds = 2000;
    ScopedTestDevices devices("Dead:fail,Stall:stop=2");
    TempDir home;
    // A thousandth of real time: run waits of 1 ms, polls without a pause;
    // the waits that go by the real clock (a stream's stall while a picture
    // settles) a thousandth too, or the stalling device costs a second a grab.
    ScaledClock clock(1000);
    QuietPrompts prompts;
    AutomaticDeviceChooser chooser;
    GraphState* graph = nullptr;
    LockCheckingWindow window(graph);
    DiaryEngine engine(DiaryEngineSeams{clock, prompts, chooser, nullptr, window, nullptr,
                                        [&] { return home.str(); }, false,
                                        DiaryEngineDelays{}.DividedBy(1000)});
    graph = &engine.Graph();
    engine.Settings().Update([&](DiarySettings& s) {
        s.SAVE_DIRECTORY = home.str();
        s.SELECT = "Stall";
        s.ONAIR = true;
        s.MOTION_DETECT = true;
        s.MOTION_DETECT_UPDATE = 0;
        s.MOTION_DETECT_LEVEL = 1 << 30;  // checks grab, nothing is stored
        s.INTERVAL_HOUR = s.INTERVAL_MINUTE = s.INTERVAL_SECOND = 0;
        s.WIDTH = 32;
        s.HEIGHT = 24;
    });
    ASSERT_TRUE(engine.BuildCaptureGraph(true, false));

    std::atomic<bool> done{false};
    std::atomic<int> recoveries{0};
    std::thread second([&] {
        StopSignal never;
        for (int i = 0; !done.load(); ++i) {
            if (i % 2 == 0) {
                engine.Capture().RebuildGraph(never);
                ++recoveries;
            } else {
                engine.Worker().StopDiaryWorker();
            }
        }
    });
    for (int round = 0; round < kRounds; ++round) {
        switch (round % 4) {
            case 0:
                engine.Settings().Update(
                    [&](DiarySettings& s) { s.SELECT = round % 8 == 0 ? "Dead" : "Stall"; });
                engine.ReleaseCaptureGraph();
                engine.BuildCaptureGraph(true, false);
                break;
            case 1:
                engine.Worker().ReopenDiaryWorker();
                engine.Worker().StartDiaryWorker();
                break;
            case 2:
                engine.Worker().StopDiaryWorker();
                break;
            case 3:
                engine.Worker().ReopenDiaryWorker();
                engine.Worker().StartDiaryWorker();
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                break;
        }
    }
    done = true;
    second.join();
    engine.ReleaseCaptureGraph();

    EXPECT_GT(recoveries.load(), 0);
    EXPECT_GT(window.swaps.load(), kRounds / 4);
    EXPECT_EQ(window.swaps_under_a_foreign_lock.load(), 0);
    // Released: nothing runs, and nothing starts until a build reopens.
    EXPECT_FALSE(engine.Worker().IsRunning());
    EXPECT_FALSE(engine.Graph().ready.load());
    EXPECT_FALSE(engine.Worker().StartDiaryWorker());
}

}  // namespace

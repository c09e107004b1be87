#include "diary/diary_worker.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <chrono>
#include <cstring>
#include <deque>
#include <thread>

#include "platform/stop_signal.h"
#include "platform/thread_priority.h"
#include "schedule/schedule_settings.h"
#include "settings/shared_settings.h"
#include "support/fake_clock.h"
#include "support/fake_frame_source.h"
#include "support/local_time.h"
#include "support/recording_notice_sink.h"

namespace {

using namespace std::chrono_literals;

// Scores from a script; the first measurement of a run gives none, as the
// real meter's does.
class ScriptedMeter final : public MotionMeter {
public:
    explicit ScriptedMeter(std::function<int(int)> score_of_check)
        : score_(std::move(score_of_check)) {}
    std::optional<int> Measure(const std::uint8_t*, std::size_t) override {
        const int n = checks_++;
        if (n == 0) return std::nullopt;
        return score_(n);
    }

private:
    std::function<int(int)> score_;
    int checks_ = 0;
};

template <class Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds limit = 20s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class DiaryWorkerTest : public ::testing::Test {
protected:
    DiaryWorkerTest() {
        graph.ready = true;
        settings.Update([](DiarySettings& s) {
            s.SAVE_DIRECTORY = "/diary/";
            s.ONAIR = true;
            s.MOTION_DETECT = false;
        });
    }
    ~DiaryWorkerTest() override { worker->StopDiaryWorker(); }

    void MakeWorker(Clock& use_clock) {
        worker = std::make_unique<DiaryWorker>(
            DiaryWorkerDependencies{source, graph, use_clock, settings, notices,
                                    [this, &use_clock](const StopSignal&, PictureTrigger) {
                                        std::lock_guard lock(mutex);
                                        store_ticks.push_back(use_clock.TickMs());
                                        store_policies.push_back(sched_getscheduler(0));
                                        store_nice.push_back(ThreadNiceValue());
                                        return store_result.load();
                                    },
                                    [this]() -> std::unique_ptr<MotionMeter> {
                                        if (!meters_allocate) return nullptr;
                                        return std::make_unique<ScriptedMeter>(score_of_check);
                                    }});
    }
    // A worker on the fixture's clock with its own store and a listener
    // for what it publishes.
    void MakeWorkerWith(std::function<std::int32_t(const StopSignal&, PictureTrigger)> store,
                        EventPublisher* events) {
        worker = std::make_unique<DiaryWorker>(
            DiaryWorkerDependencies{source,
                                    graph,
                                    clock,
                                    settings,
                                    notices,
                                    std::move(store),
                                    [] { return MakeMotionReferenceMeter(); },
                                    CaptureTimings{},
                                    3000,
                                    {},
                                    events});
    }
    void Start() {
        if (!worker) MakeWorker(clock);
        // As a build does.
        worker->ReopenDiaryWorker();
        ASSERT_TRUE(worker->StartDiaryWorker());
    }
    std::size_t Stores() {
        std::lock_guard lock(mutex);
        return store_ticks.size();
    }
    std::vector<std::uint32_t> Ticks() {
        std::lock_guard lock(mutex);
        return store_ticks;
    }

    FakeFrameSource source;
    GraphState graph;
    FakeClock clock;
    SharedSettings settings;
    RecordingNoticeSink notices;
    std::function<int(int)> score_of_check = [](int) { return 0; };
    bool meters_allocate = true;
    std::atomic<std::int32_t> store_result{0};
    std::mutex mutex;
    std::vector<std::uint32_t> store_ticks;
    std::vector<int> store_policies;
    std::vector<int> store_nice;
    std::unique_ptr<DiaryWorker> worker;
};

TEST_F(DiaryWorkerTest, IntervalStoresComeTheIntervalLess100msApartAtTheLowestNormalPriority) {
    Start();
    ASSERT_TRUE(WaitUntil([&] { return Stores() >= 3; }));
    worker->StopDiaryWorker();
    const auto ticks = Ticks();
    for (std::size_t i = 1; i < ticks.size(); ++i) {
        const std::uint32_t gap = ticks[i] - ticks[i - 1];
        EXPECT_GE(gap, 599900u);
        EXPECT_LT(gap, 599900u + 20u);  // within two passes of 10 ms
    }
    std::lock_guard lock(mutex);
    // Never SCHED_IDLE, which a busy machine starves.
    EXPECT_EQ(store_policies[0], SCHED_OTHER);
    EXPECT_EQ(store_nice[0], 19);
    EXPECT_EQ(worker->LastExitCode(), 0);
    EXPECT_FALSE(worker->LastStopWasForced());
}

// Virtual time that stands still while `hold` says so, until the stop: the
// worker would otherwise run the clock on while the test thread is off the
// processor between a store and its stop.
class HeldClock final : public Clock {
public:
    HeldClock(FakeClock& clock, std::function<bool()> hold)
        : clock_(clock), hold_(std::move(hold)) {}
    std::uint32_t TickMs() override { return clock_.TickMs(); }
    bool SleepMs(std::uint32_t duration_ms, const StopSignal* stop) override {
        while (hold_()) {
            if (stop != nullptr && stop->WaitFor(1ms)) return true;
            if (stop == nullptr) std::this_thread::sleep_for(1ms);
        }
        return clock_.SleepMs(duration_ms, stop);
    }
    std::tm LocalNow() override { return clock_.LocalNow(); }

private:
    FakeClock& clock_;
    std::function<bool()> hold_;
};

TEST_F(DiaryWorkerTest, LastIntervalStoreSurvivesARestart) {
    std::atomic<bool> restarted{false};
    HeldClock held(clock, [&] { return !restarted && Stores() == 1; });
    MakeWorker(held);
    struct StopBeforeTheClockGoes {
        DiaryWorker& worker;
        ~StopBeforeTheClockGoes() { worker.StopDiaryWorker(); }
    } stop_first{*worker};
    Start();
    ASSERT_TRUE(WaitUntil([&] { return Stores() == 1; }));
    const std::uint32_t first = Ticks()[0];
    worker->StopDiaryWorker();
    restarted = true;
    clock.Advance(5 * 60 * 1000);
    Start();
    ASSERT_TRUE(WaitUntil([&] { return Stores() >= 2; }));
    worker->StopDiaryWorker();
    EXPECT_GE(Ticks()[1] - first, 599900u);
    EXPECT_LT(Ticks()[1] - first, 599900u + 20u);
}

TEST_F(DiaryWorkerTest, ScoreMustExceedTheLevel) {
    settings.Update([](DiarySettings& s) {
        s.INTERVAL_MINUTE = 0;  // all interval parts 0: no interval stores
        s.MOTION_DETECT = true;
        s.MOTION_DETECT_LEVEL = 50;
        s.MOTION_DETECT_INTERVAL = 1;
    });
    score_of_check = [](int n) { return n < 20 ? 50 : 51; };
    Start();
    ASSERT_TRUE(WaitUntil([&] { return Stores() >= 1; }));
    worker->StopDiaryWorker();
    // Checks come at least 1.1 s apart (run wait and one poll); the 20th is the
    // first above the level.
    EXPECT_GE(Ticks()[0] - 100000u, 19u * 1100u);
    EXPECT_EQ(notices.codes().front(), kNoticeMotionDetected);
}

TEST_F(DiaryWorkerTest, FailedMotionStorePostsNothingAndStillHoldsTheNextBack) {
    settings.Update([](DiarySettings& s) {
        s.INTERVAL_MINUTE = 0;
        s.MOTION_DETECT = true;
        s.MOTION_DETECT_INTERVAL = 60;
    });
    score_of_check = [](int) { return 300; };
    store_result = -1;
    Start();
    ASSERT_TRUE(WaitUntil([&] { return Stores() >= 3; }));
    worker->StopDiaryWorker();
    const auto ticks = Ticks();
    for (std::size_t i = 1; i < ticks.size(); ++i) EXPECT_GE(ticks[i] - ticks[i - 1], 60000u);
    EXPECT_TRUE(notices.codes().empty());
}

TEST_F(DiaryWorkerTest, EmptySaveDirectoryOrOffAirKeepsTheWorkerIdle) {
    settings.Update([](DiarySettings& s) {
        s.SAVE_DIRECTORY = "";
        s.MOTION_DETECT = true;
    });
    Start();
    ASSERT_TRUE(WaitUntil([&] { return clock.TickMs() > 100000u + 3600u * 1000u; }));
    EXPECT_EQ(Stores(), 0u);
    EXPECT_EQ(source.copies(), 0);
    worker->StopDiaryWorker();

    settings.Update([](DiarySettings& s) {
        s.SAVE_DIRECTORY = "/diary/";
        s.ONAIR = false;
    });
    Start();
    ASSERT_TRUE(WaitUntil([&] { return clock.TickMs() > 100000u + 7200u * 1000u; }));
    EXPECT_EQ(Stores(), 0u);
    // ON/OFF acts at once, without a restart.
    settings.Update([](DiarySettings& s) { s.ONAIR = true; });
    EXPECT_TRUE(WaitUntil([&] { return Stores() >= 1; }));
}

TEST_F(DiaryWorkerTest, StartingWhileOneRunsStartsNothing) {
    Start();
    EXPECT_FALSE(worker->StartDiaryWorker());
    EXPECT_TRUE(worker->IsRunning());
    worker->StopDiaryWorker();
    EXPECT_FALSE(worker->IsRunning());
    // A stop closes the worker until a build reopens it.
    EXPECT_FALSE(worker->StartDiaryWorker());
    worker->ReopenDiaryWorker();
    EXPECT_TRUE(worker->StartDiaryWorker());
}

// Stands for a grab whose recovery releases the graph (stopping its own run)
// and rebuilds it (starting the next run), once.
class DiaryWorkerRecoveryTest : public DiaryWorkerTest {
protected:
    void MakeRecoveringWorker(bool wait_for_outside_stop) {
        worker = std::make_unique<DiaryWorker>(DiaryWorkerDependencies{
            source, graph, SystemClockInstance(), settings, notices,
            [this, wait_for_outside_stop](const StopSignal& stop, PictureTrigger) {
                if (recovered.exchange(true)) return 0;
                worker->StopDiaryWorker();
                own_release_left_request_clear = !worker->StopRequest().IsSet();
                if (wait_for_outside_stop) {
                    outside_stop_seen = worker->StopRequest().WaitFor(std::chrono::seconds(5));
                }
                rebuild_started = worker->StartDiaryWorker() ? 1 : 0;
                EXPECT_TRUE(stop.IsSet());
                return 0;
            },
            [] { return std::make_unique<ScriptedMeter>([](int) { return 0; }); }});
        settings.Update([](DiarySettings& s) { s.INTERVAL_SECOND = 1; });
    }

    std::atomic<bool> recovered = false;
    std::atomic<bool> own_release_left_request_clear = false;
    std::atomic<bool> outside_stop_seen = false;
    std::atomic<int> rebuild_started = -1;
};

TEST_F(DiaryWorkerRecoveryTest, TheRebuildStartsTheNextRunWhichAStopThenEnds) {
    MakeRecoveringWorker(false);
    ASSERT_TRUE(worker->StartDiaryWorker());
    ASSERT_TRUE(WaitUntil([&] { return rebuild_started.load() != -1; }));
    EXPECT_TRUE(own_release_left_request_clear.load());
    EXPECT_EQ(rebuild_started.load(), 1);
    EXPECT_TRUE(worker->IsRunning());
    worker->StopDiaryWorker();
    EXPECT_FALSE(worker->IsRunning());
    EXPECT_FALSE(worker->LastStopWasForced());
}

// A stop from the user interface that meets a recovery waits for the
// recovering run, and the rebuild's start does not bring the worker back.
TEST_F(DiaryWorkerRecoveryTest, AStopDuringARecoveryWaitsForItAndRefusesTheRebuildsStart) {
    MakeRecoveringWorker(true);
    ASSERT_TRUE(worker->StartDiaryWorker());
    ASSERT_TRUE(WaitUntil([&] { return recovered.load(); }));
    worker->StopDiaryWorker();
    EXPECT_NE(rebuild_started.load(), -1);  // the stop waited for the recovery
    EXPECT_TRUE(outside_stop_seen.load());
    EXPECT_EQ(rebuild_started.load(), 0);
    EXPECT_FALSE(worker->IsRunning());
    EXPECT_FALSE(worker->StopRequest().IsSet());
    worker->ReopenDiaryWorker();
    EXPECT_TRUE(worker->StartDiaryWorker());
}

TEST_F(DiaryWorkerTest, AllocationFailureEndsTheRunWithMinusOne) {
    meters_allocate = false;
    Start();
    ASSERT_TRUE(WaitUntil([&] { return !worker->IsRunning(); }));
    EXPECT_EQ(worker->LastExitCode(), -1);
    EXPECT_EQ(Stores(), 0u);
}

// Real time: every wait inside the grab must end on the stop, so the stop
// returns without the forced end and leaves nothing held.
TEST_F(DiaryWorkerTest, StopDuringAGrabEndsItAtTheNextCheck) {
    settings.Update([](DiarySettings& s) {
        s.INTERVAL_MINUTE = 0;
        s.MOTION_DETECT = true;
        s.MOTION_DETECT_UPDATE = 0;
    });
    source.SetMode(FakeFrameSource::Mode::kStill);
    MakeWorker(SystemClockInstance());
    ASSERT_TRUE(worker->StartDiaryWorker());
    ASSERT_TRUE(WaitUntil([&] { return source.copies() >= 2; }));
    worker->StopDiaryWorker();
    EXPECT_FALSE(worker->LastStopWasForced());
    EXPECT_EQ(worker->LastExitCode(), 0);
    EXPECT_FALSE(source.buffering());
    EXPECT_TRUE(graph.lock.try_lock());
    graph.lock.unlock();
}

// A store that does not look at the stop ends only once the stopping thread
// has processed its events, which it does while it waits.
TEST(DiaryWorkerStop, AStopThatWaitsKeepsProcessingTheCallersEvents) {
    FakeFrameSource source;
    GraphState graph;
    graph.ready = true;
    FakeClock clock;
    SharedSettings settings;
    settings.Update([](DiarySettings& s) {
        s.SAVE_DIRECTORY = "/diary/";
        s.INTERVAL_MINUTE = 0;
        s.INTERVAL_SECOND = 1;
    });
    RecordingNoticeSink notices;
    std::atomic<bool> in_store{false}, events_processed{false};
    DiaryWorker worker({source, graph, clock, settings, notices,
                        [&](const StopSignal&, PictureTrigger) {
                            in_store = true;
                            // Shorter than the forced end, so a failure leaves no thread behind.
                            WaitUntil([&] { return events_processed.load(); }, 2s);
                            return 0;
                        },
                        MakeMotionReferenceMeter});
    worker.SetProcessEvents([&] { events_processed = true; });
    ASSERT_TRUE(worker.StartDiaryWorker());
    ASSERT_TRUE(WaitUntil([&] { return in_store.load(); }));
    worker.StopDiaryWorker();
    EXPECT_TRUE(events_processed.load());
    EXPECT_FALSE(worker.LastStopWasForced());
}

TEST_F(DiaryWorkerTest, StopWhileWaitingForTheGraphLockIsNotForced) {
    settings.Update([](DiarySettings& s) { s.MOTION_DETECT = true; });
    graph.lock.lock();  // a snapshot holds the lock
    MakeWorker(SystemClockInstance());
    ASSERT_TRUE(worker->StartDiaryWorker());
    std::this_thread::sleep_for(100ms);
    worker->StopDiaryWorker();
    graph.lock.unlock();
    EXPECT_FALSE(worker->LastStopWasForced());
    EXPECT_EQ(source.copies(), 0);
}

}  // namespace

namespace {

// The real meter through the worker: a scene that changes every other check
// in more than a tenth of the samples stores on motion.
TEST(DiaryWorkerMotion, RealMeterStoresWhenASceneChanges) {
    FakeFrameSource source;
    GraphState graph;
    graph.ready = true;
    FakeClock clock;
    SharedSettings settings;
    settings.Update([](DiarySettings& s) {
        s.SAVE_DIRECTORY = "/diary/";
        s.INTERVAL_MINUTE = 0;
        s.MOTION_DETECT = true;
        s.MOTION_DETECT_INTERVAL = 1;
    });
    // Copies come in pairs (reference, first poll); the scene flips per pair.
    source.SetFrameGenerator([](int n, std::uint8_t* frame, std::size_t size) {
        const bool bright = ((n + 1) / 2) % 2 == 0;
        std::memset(frame, bright ? 200 : 20, size);
        frame[3] = static_cast<std::uint8_t>(n);  // a pixel no sample reads: every copy is fresh
    });
    RecordingNoticeSink notices;
    std::atomic<int> stores{0};
    DiaryWorker worker({source, graph, clock, settings, notices,
                        [&](const StopSignal&, PictureTrigger) {
                            ++stores;
                            return 0;
                        },
                        MakeMotionReferenceMeter});
    ASSERT_TRUE(worker.StartDiaryWorker());
    ASSERT_TRUE(WaitUntil([&] { return stores >= 2; }));
    worker.StopDiaryWorker();
    EXPECT_EQ(notices.codes()[0], kNoticeMotionDetected);
}

// A recovery rebuild inside a store asks for a worker start from the worker's
// own thread. When a stop has just taken the run away, that start must not
// begin a run the stop never waits for: it would go on using a graph that is
// being released.
TEST(DiaryWorkerStop, StartFromTheRunBeingStoppedStartsNothing) {
    FakeFrameSource source;
    GraphState graph;
    graph.ready = true;
    FakeClock clock;
    SharedSettings settings;
    settings.Update([](DiarySettings& s) {
        s.SAVE_DIRECTORY = "/diary/";
        s.INTERVAL_MINUTE = 0;
        s.INTERVAL_SECOND = 1;
    });
    RecordingNoticeSink notices;
    std::atomic<bool> in_store{false};
    std::atomic<int> start_from_store{-1};
    DiaryWorker* self = nullptr;
    DiaryWorker worker({source, graph, clock, settings, notices,
                        [&](const StopSignal& stop, PictureTrigger) {
                            in_store = true;
                            stop.WaitFor(20s);
                            start_from_store = self->StartDiaryWorker() ? 1 : 0;
                            return 0;
                        },
                        MakeMotionReferenceMeter});
    self = &worker;
    ASSERT_TRUE(worker.StartDiaryWorker());
    ASSERT_TRUE(WaitUntil([&] { return in_store.load(); }));
    worker.StopDiaryWorker();
    EXPECT_FALSE(worker.LastStopWasForced());
    EXPECT_EQ(start_from_store.load(), 0);
    EXPECT_FALSE(worker.IsRunning());
    // From any other thread a start after the stop and a reopen works.
    worker.ReopenDiaryWorker();
    EXPECT_TRUE(worker.StartDiaryWorker());
    worker.StopDiaryWorker();
}

// A run stuck in a call that does not look at its stop (a driver that hangs)
// outlasts the forced end. It is neither killed nor detached: it cannot start
// another run, the next stop waits for it again, and the destructor joins it,
// so it never touches the worker or what the worker uses after that.
TEST(DiaryWorkerStop, ForcedEndKeepsTheRunUntilItEndsAndItStartsNothing) {
    FakeFrameSource source;
    GraphState graph;
    graph.ready = true;
    FakeClock clock;
    SharedSettings settings;
    settings.Update([](DiarySettings& s) {
        s.SAVE_DIRECTORY = "/diary/";
        s.INTERVAL_MINUTE = 0;
        s.INTERVAL_SECOND = 1;
    });
    RecordingNoticeSink notices;
    std::atomic<int> in_store{0};
    std::atomic<bool> release_store{false};
    std::atomic<int> start_from_left_run{-1};
    std::atomic<bool> store_returned{false};
    DiaryWorker* self = nullptr;
    DiaryWorkerDependencies deps{source,
                                 graph,
                                 clock,
                                 settings,
                                 notices,
                                 [&](const StopSignal&, PictureTrigger) {
                                     ++in_store;
                                     while (!release_store.load()) std::this_thread::sleep_for(1ms);
                                     start_from_left_run = self->StartDiaryWorker() ? 1 : 0;
                                     store_returned = true;
                                     return 0;
                                 },
                                 MakeMotionReferenceMeter};
    deps.forced_end_after_ms = 100;
    auto worker = std::make_unique<DiaryWorker>(deps);
    self = worker.get();
    ASSERT_TRUE(worker->StartDiaryWorker());
    ASSERT_TRUE(WaitUntil([&] { return in_store.load() == 1; }));

    worker->StopDiaryWorker();
    EXPECT_TRUE(worker->LastStopWasForced());
    EXPECT_EQ(worker->LeftRuns(), 1u);
    EXPECT_FALSE(worker->IsRunning());
    EXPECT_FALSE(worker->StartDiaryWorker()) << "closed by the stop";

    release_store = true;
    ASSERT_TRUE(WaitUntil([&] { return store_returned.load(); }));
    EXPECT_EQ(start_from_left_run.load(), 0);
    worker->StopDiaryWorker();
    EXPECT_FALSE(worker->LastStopWasForced());
    EXPECT_EQ(worker->LeftRuns(), 0u);

    // Destroyed while a run is stuck: the destructor waits for it.
    release_store = false;
    store_returned = false;
    worker->ReopenDiaryWorker();
    ASSERT_TRUE(worker->StartDiaryWorker());
    ASSERT_TRUE(WaitUntil([&] { return in_store.load() == 2; }));
    std::thread release([&] {
        std::this_thread::sleep_for(300ms);
        release_store = true;
    });
    worker.reset();
    EXPECT_TRUE(store_returned.load());
    release.join();
}

// The events a worker published, in order.
struct CollectedEvents final : EventPublisher {
    void Publish(DiaryEvent event) override {
        std::lock_guard lock(mutex);
        events.push_back(std::move(event));
    }
    std::size_t Count() {
        std::lock_guard lock(mutex);
        return events.size();
    }
    std::mutex mutex;
    std::vector<DiaryEvent> events;
};

// The recording hours over a virtual evening in Europe/Berlin, 22:00-06:00
// with the camera released outside them, an interval of 10 minutes on the
// clock and a set time at 21:59 before the hours: the set time stores at
// once (it does not follow the hours), the camera is let go while nothing
// needs it and opened again before each picture, early enough that the
// range's first picture is on time, and every interval picture lies on the
// grid. The pause is said once, with its end, and so is the resume.
TEST_F(DiaryWorkerTest, RecordingHoursReleaseTheCameraAndKeepEveryPictureOnTime) {
    ScopedTimeZone zone("Europe/Berlin");

    clock.SetWallClock(LocalTime(2026, 6, 10, 21, 58, 0));
    settings.Update([](DiarySettings& s) {
        s.INTERVAL_MINUTE = 10;
        s.INTERVAL_SECOND = 0;
        auto& schedule = s.Section<ScheduleSettings>();
        schedule.HOURS = "22:00-06:00";
        schedule.RELEASE_CAMERA = true;
        schedule.ALIGN_INTERVAL = true;
        schedule.AT = "21:59";
    });
    struct Store {
        std::int64_t wall_ms;
        PictureTrigger trigger;
        int device_releases;
        int runs;
    };
    std::vector<Store> stores;
    CollectedEvents events;
    MakeWorkerWith(
        [&](const StopSignal&, PictureTrigger trigger) {
            std::lock_guard lock(mutex);
            stores.push_back({clock.WallMs(), trigger, source.device_releases(), source.runs()});
            return 0;
        },
        &events);
    Start();
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard lock(mutex);
        return stores.size() >= 4;
    }));
    worker->StopDiaryWorker();

    const std::int64_t set_time = LocalTime(2026, 6, 10, 21, 59, 0) * 1000LL;
    const std::int64_t hours_begin = LocalTime(2026, 6, 10, 22, 0, 0) * 1000LL;
    ASSERT_GE(stores.size(), 4u);
    EXPECT_EQ(stores[0].trigger, PictureTrigger::kTime);
    EXPECT_EQ(stores[0].wall_ms, set_time);
    for (int i = 1; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(stores[i].trigger, PictureTrigger::kInterval);
        EXPECT_EQ(stores[i].wall_ms, hours_begin + (i - 1) * 600000LL);
    }
    // Released at the start and after the set time; opened again (a run of
    // the graph) before each of the two pictures.
    EXPECT_EQ(stores[0].device_releases, 1);
    EXPECT_EQ(stores[1].device_releases, 2);
    EXPECT_GT(stores[1].runs, stores[0].runs);
    EXPECT_EQ(stores[3].device_releases, 2) << "the camera stays while the hours last";

    std::lock_guard lock(events.mutex);
    ASSERT_EQ(events.events.size(), 2u);
    const auto* paused = std::get_if<RecordingPaused>(&events.events[0]);
    ASSERT_NE(paused, nullptr);
    EXPECT_TRUE(paused->has_until);
    EXPECT_EQ(paused->until.tm_hour, 22);
    EXPECT_EQ(paused->until.tm_min, 0);
    EXPECT_TRUE(std::holds_alternative<RecordingResumed>(events.events[1]));
}

// The schedule's tab is edited while the worker runs: hours set then hold
// the running worker off at its next pass (said once), and taken away again
// let it record at once.
TEST_F(DiaryWorkerTest, HoursSetOrTakenAwayWhileRunningTakeEffectAtOnce) {
    ScopedTimeZone zone("Europe/Berlin");
    clock.SetWallClock(LocalTime(2026, 6, 10, 12, 0, 0));
    settings.Update([](DiarySettings& s) {
        s.INTERVAL_MINUTE = 1;
        s.INTERVAL_SECOND = 0;
    });
    CollectedEvents events;
    MakeWorkerWith(
        [&](const StopSignal&, PictureTrigger) {
            std::lock_guard lock(mutex);
            store_ticks.push_back(clock.TickMs());
            return 0;
        },
        &events);
    Start();
    ASSERT_TRUE(WaitUntil([&] { return Stores() >= 1; }));
    settings.Update([](DiarySettings& s) { s.Section<ScheduleSettings>().HOURS = "20:00-21:00"; });
    ASSERT_TRUE(WaitUntil([&] { return events.Count() >= 1; }));
    const std::size_t stores_when_paused = Stores();
    // Hours of the evening: an hour of virtual time brings no picture.
    const std::uint32_t paused_at = clock.TickMs();
    ASSERT_TRUE(WaitUntil([&] { return clock.TickMs() - paused_at > 3600000u; }));
    EXPECT_LE(Stores(), stores_when_paused + 1) << "at most the store under way";
    const std::size_t before = Stores();
    settings.Update([](DiarySettings& s) { s.Section<ScheduleSettings>() = ScheduleSettings{}; });
    ASSERT_TRUE(WaitUntil([&] { return Stores() > before && events.Count() >= 2; }));
    worker->StopDiaryWorker();
    std::lock_guard lock(events.mutex);
    EXPECT_TRUE(std::holds_alternative<RecordingPaused>(events.events[0]));
    EXPECT_TRUE(std::holds_alternative<RecordingResumed>(events.events[1]));
    EXPECT_EQ(events.events.size(), 2u);
}

}  // namespace

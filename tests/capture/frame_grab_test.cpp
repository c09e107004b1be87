#include "capture/frame_grab.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "capture/picture_settle.h"
#include "platform/stop_signal.h"
#include "support/fake_clock.h"
#include "support/fake_frame_source.h"

namespace {

class FrameGrab : public ::testing::Test {
protected:
    GrabResult Grab(GrabCaller caller) {
        buffer.assign(source.ConnectedFormat().SizeBytes() + 16, 0xEE);
        const GrabContext context{source, graph, clock, stop, {}, settle_max_ms};
        return GrabFreshFrame(
            context, caller,
            [&](std::size_t size) {
                prepared_size = size;
                return buffer.data();
            },
            caller == GrabCaller::kWorker ? source.ConnectedFormat().SizeBytes() : 0);
    }

    FakeFrameSource source{FrameFormat{322, 10}};
    GraphState graph;
    FakeClock clock;
    StopSignal stop;
    std::vector<std::uint8_t> buffer;
    std::size_t prepared_size = 0;
    std::uint32_t settle_max_ms = kDefaultSettleMaxMs;
};

// A fade by about a level per frame or more never settles; a steady picture
// with noise and a moving object settles after four frames, and a step back
// into a fade unsettles it again.
TEST(SettleWindow, SteadyBrightnessOverFourFramesSettlesAFadeDoesNot) {
    SettleWindow window;
    double mean = 16;
    for (int frame = 0; frame < 45; ++frame, mean += 2.0)
        EXPECT_FALSE(window.Add(mean)) << "frame " << frame << " of a 1.5 s fade";
    window.Reset();
    mean = 20;
    for (int frame = 0; frame < 30; ++frame, mean += 0.7)
        EXPECT_FALSE(window.Add(mean)) << "a dark scene still brightening, frame " << frame;
    window.Reset();
    EXPECT_FALSE(window.Add(100.0));
    EXPECT_FALSE(window.Add(101.5));
    EXPECT_FALSE(window.Add(99.8));
    EXPECT_TRUE(window.Add(100.9)) << "within 2 % of 100";
    EXPECT_TRUE(window.Add(101.2));
    EXPECT_FALSE(window.Add(104.0));
    // A dark scene: the band is never narrower than 1.5 levels.
    window.Reset();
    for (const double dark : {19.0, 20.2, 19.4}) EXPECT_FALSE(window.Add(dark));
    EXPECT_TRUE(window.Add(20.4));
}

TEST(FrameFormat, StrideIsPaddedToFourBytes) {
    EXPECT_EQ((FrameFormat{320, 240}.Stride()), 960u);
    EXPECT_EQ((FrameFormat{320, 240}.SizeBytes()), 230400u);
    EXPECT_EQ((FrameFormat{322, 1}.Stride()), 968u);
    EXPECT_EQ((FrameFormat{1, 1}.Stride()), 4u);
}

TEST_F(FrameGrab, MovingSourceGivesFreshFrameAfterOneRunWaitAndOnePoll) {
    const GrabResult r = Grab(GrabCaller::kPictureStore);
    EXPECT_EQ(r.outcome, GrabOutcome::kFresh);
    EXPECT_EQ(r.frame_size, 968u * 10);
    EXPECT_EQ(prepared_size, 968u * 10);
    EXPECT_EQ(clock.SleptMs(), 1000u + 100u);
    EXPECT_FALSE(source.buffering());
    EXPECT_EQ(buffer[968 * 10], 0xEE) << "copied past the frame";
    EXPECT_TRUE(graph.lock.try_lock());
    graph.lock.unlock();
}

TEST_F(FrameGrab, StillSourceRecoversAfterTenthPollForEachCaller) {
    source.SetMode(FakeFrameSource::Mode::kStill);
    source.SetModeAfterRebuild(FakeFrameSource::Mode::kMoving);
    EXPECT_EQ(Grab(GrabCaller::kPictureStore).outcome, GrabOutcome::kFresh);
    EXPECT_EQ(source.rebuilds(), 1);
    EXPECT_EQ(source.releases(), 0);
    // 1000 run wait, 11 polls, 1000 pause before the rebuild, 1 more poll.
    EXPECT_EQ(clock.SleptMs(), 1000u + 11 * 100u + 1000u + 100u);
    // Buffering is switched on again in the rebuilt graph.
    EXPECT_EQ(source.buffering_switches_on(), 2);

    source.SetMode(FakeFrameSource::Mode::kStill);
    EXPECT_EQ(Grab(GrabCaller::kSnapshot).outcome, GrabOutcome::kFresh);
    EXPECT_EQ(source.rebuilds(), 2);
    EXPECT_EQ(source.releases(), 1);
}

TEST_F(FrameGrab, WorkerGivesUpAfterFourthRebuildWithWhatItHolds) {
    source.SetMode(FakeFrameSource::Mode::kStill);
    const std::uint32_t before = clock.SleptMs();
    const GrabResult r = Grab(GrabCaller::kWorker);
    EXPECT_EQ(r.outcome, GrabOutcome::kGaveUp);
    EXPECT_EQ(source.rebuilds(), 4);
    EXPECT_EQ(clock.SleptMs() - before, 1000u + 14 * 100u + 4 * 3000u);
    EXPECT_EQ(buffer[0], 0x55);  // the still frame
    EXPECT_FALSE(source.buffering());
}

TEST_F(FrameGrab, StoreAndSnapshotRecoveriesAreBounded) {
    source.SetMode(FakeFrameSource::Mode::kCopyFails);
    EXPECT_EQ(Grab(GrabCaller::kPictureStore).outcome, GrabOutcome::kGaveUp);
    EXPECT_EQ(source.rebuilds(), kMaxGrabRecoveries);
    // Failed copies leave the destination as it was.
    EXPECT_EQ(buffer[5], 0xEE);
}

// The reference is taken from a settled picture: the wait comes after the
// run wait and before any copy, and again after every recovery's start. The
// store waits no longer than the polls would before a recovery when frames
// stop coming.
TEST_F(FrameGrab, SettleWaitPrecedesTheReferenceAndFollowsEachRecovery) {
    settle_max_ms = 2500;
    source.SetMode(FakeFrameSource::Mode::kStill);
    source.SetModeAfterRebuild(FakeFrameSource::Mode::kMoving);
    EXPECT_EQ(Grab(GrabCaller::kPictureStore).outcome, GrabOutcome::kFresh);
    const auto waits = source.settle_waits();
    ASSERT_EQ(waits.size(), 2u);
    EXPECT_EQ(waits[0].copies_before, 0);
    EXPECT_EQ(waits[0].rebuilds_before, 0);
    EXPECT_EQ(waits[1].rebuilds_before, 1);
    EXPECT_EQ(waits[1].copies_before, 12) << "the reference and eleven polls";
    for (const auto& wait : waits) {
        EXPECT_TRUE(wait.buffering);
        EXPECT_EQ(wait.max_ms, 2500u);
        EXPECT_EQ(wait.stall_ms, 10u * 100u);
    }

    // A stop during the wait ends the grab with no frame taken (the store
    // then keeps nothing); 0 waits not at all.
    source.OnSettleWait([&] {
        stop.Request();
        return SettleOutcome::kStopped;
    });
    const GrabResult stopped = Grab(GrabCaller::kWorker);
    EXPECT_EQ(stopped.outcome, GrabOutcome::kStopped);
    EXPECT_FALSE(stopped.frame_copied);
    EXPECT_EQ(source.copies(), 13 + 1) << "the reference only";
    EXPECT_FALSE(source.buffering());
    stop.Clear();
    settle_max_ms = 0;
    EXPECT_EQ(Grab(GrabCaller::kSnapshot).outcome, GrabOutcome::kFresh);
    EXPECT_EQ(source.settle_waits().size(), 3u);
}

TEST_F(FrameGrab, StopRequestEndsTheGrabAtTheNextCheck) {
    source.SetMode(FakeFrameSource::Mode::kStill);
    source.OnCopy([&](int n) {
        if (n == 4) stop.Request();
    });
    const GrabResult r = Grab(GrabCaller::kPictureStore);
    EXPECT_EQ(r.outcome, GrabOutcome::kStopped);
    EXPECT_EQ(source.copies(), 4);  // reference + 3 polls
    EXPECT_EQ(source.rebuilds(), 0);
    EXPECT_FALSE(source.buffering());
}

TEST_F(FrameGrab, FailedDestinationReleasesEverything) {
    const GrabContext context{source, graph, clock, stop};
    const GrabResult r =
        GrabFreshFrame(context, GrabCaller::kPictureStore, [](std::size_t) { return nullptr; });
    EXPECT_EQ(r.outcome, GrabOutcome::kNoDestination);
    EXPECT_FALSE(source.buffering());
    EXPECT_TRUE(graph.lock.try_lock());
    graph.lock.unlock();
}

TEST_F(FrameGrab, MinimisedWindowStopsGraphAfterStoreAndSnapshotButNotWorker) {
    graph.minimised = true;
    Grab(GrabCaller::kWorker);
    EXPECT_EQ(source.stops(), 0);
    Grab(GrabCaller::kPictureStore);
    EXPECT_EQ(source.stops(), 1);
    Grab(GrabCaller::kSnapshot);
    EXPECT_EQ(source.stops(), 2);
    graph.minimised = false;
    Grab(GrabCaller::kPictureStore);
    EXPECT_EQ(source.stops(), 2);
}

TEST_F(FrameGrab, StopWhileWaitingForTheLockGivesUpWithoutTouchingTheGraph) {
    std::thread holder([&] {
        graph.lock.lock();
        stop.Request();
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        graph.lock.unlock();
    });
    while (!stop.IsSet()) std::this_thread::yield();
    EXPECT_EQ(Grab(GrabCaller::kWorker).outcome, GrabOutcome::kNotLocked);
    EXPECT_EQ(source.copies(), 0);
    holder.join();
}

TEST_F(FrameGrab, RunWaitRetriesThreeRoundsAtMost) {
    FakeFrameSource never;
    never.SetNeverRuns(true);
    RunGraphAndWait(never, clock, nullptr);
    EXPECT_EQ(never.runs(), 3);
    EXPECT_EQ(clock.SleptMs(), 3000u);
}

TEST_F(FrameGrab, WorkerSizeQueryLeavesBufferingOff) {
    const GrabContext context{source, graph, clock, stop};
    EXPECT_EQ(QueryFrameSize(context), 9680u);
    EXPECT_FALSE(source.buffering());
}

}  // namespace

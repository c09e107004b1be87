#include "capture/frame_grab.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/stop_signal.h"
#include "support/fake_clock.h"
#include "support/fake_frame_source.h"

namespace {

class FrameGrab : public ::testing::Test {
protected:
    GrabResult Grab(GrabCaller caller) {
        buffer.assign(source.ConnectedFormat().SizeBytes() + 16, 0xEE);
        const GrabContext context{source, graph, clock, stop};
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
};

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

#include "capture/frame_grab.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <new>

#include "platform/clock.h"
#include "platform/stop_signal.h"

namespace {

constexpr int kRunRounds = 3;

class GraphLockGuard {
public:
    explicit GraphLockGuard(GraphState& graph) : graph_(graph) {}
    ~GraphLockGuard() { graph_.lock.unlock(); }
    GraphLockGuard(const GraphLockGuard&) = delete;
    GraphLockGuard& operator=(const GraphLockGuard&) = delete;

private:
    GraphState& graph_;
};

std::size_t QuerySize(FrameSource& source) {
    std::size_t size = source.ConnectedFormat().SizeBytes();
    source.QueryBufferSize(size);
    return size;
}

void Recover(const GrabContext& context, GrabCaller caller) {
    switch (caller) {
        case GrabCaller::kWorker:
            context.source.RebuildGraph(context.stop);
            context.clock.SleepMs(context.timings.worker_recovery_ms, &context.stop);
            break;
        case GrabCaller::kPictureStore:
            context.clock.SleepMs(context.timings.recovery_pause_ms, &context.stop);
            context.source.RebuildGraph(context.stop);
            break;
        case GrabCaller::kSnapshot:
            context.source.ReleaseGraph();
            context.clock.SleepMs(context.timings.recovery_pause_ms, &context.stop);
            context.source.RebuildGraph(context.stop);
            break;
    }
}

// A camera's first frames after a start are dark or tinted until its
// exposure settles; none of them is a picture. A stream that brings no new
// frame for as long as the polls would wait before a recovery is left to the
// polls and the recovery.
void WaitForSettledPicture(const GrabContext& context) {
    if (context.settle_max_ms == 0) return;
    context.source.WaitForSettledPicture(context.stop, context.settle_max_ms,
                                         context.timings.poll_ms * kPollsBeforeRecovery);
}

}  // namespace

bool LockGraph(GraphState& graph, const StopSignal& stop) {
    // Polled: try_lock_for waits in pthread_mutex_clocklock, which the
    // thread sanitizer does not see, so every later unlock looked wrong.
    while (!graph.lock.try_lock()) {
        if (stop.WaitFor(std::chrono::milliseconds(5))) return false;
    }
    return true;
}

void RunGraphAndWait(FrameSource& source, Clock& clock, const StopSignal* stop,
                     const CaptureTimings& timings) {
    auto stopped = [stop] { return stop != nullptr && stop->IsSet(); };
    for (int round = 0; round < kRunRounds; ++round) {
        clock.SleepMs(timings.run_wait_ms, stop);
        if (!source.Run()) {
            clock.SleepMs(timings.run_retry_ms, stop);
            continue;
        }
        if (stopped()) return;
        if (source.IsRunning(stop)) return;
    }
}

std::size_t QueryFrameSize(const GrabContext& context) {
    if (!LockGraph(context.graph, context.stop)) return 0;
    GraphLockGuard unlock(context.graph);
    context.source.SetBufferSamples(true);
    RunGraphAndWait(context.source, context.clock, &context.stop, context.timings);
    const std::size_t size = QuerySize(context.source);
    context.source.SetBufferSamples(false);
    return size;
}

GrabResult GrabFreshFrame(const GrabContext& context, GrabCaller caller,
                          const PrepareDestination& prepare, std::size_t worker_frame_size) {
    GrabResult result;
    if (!LockGraph(context.graph, context.stop)) return result;
    {
        GraphLockGuard unlock(context.graph);
        FrameSource& source = context.source;
        source.SetBufferSamples(true);
        RunGraphAndWait(source, context.clock, &context.stop, context.timings);
        WaitForSettledPicture(context);
        const std::size_t size =
            caller == GrabCaller::kWorker ? worker_frame_size : QuerySize(source);
        result.frame_size = size;

        std::uint8_t* destination = size > 0 ? prepare(size) : nullptr;
        // Zeroed, so that a failed first copy cannot pass for a fresh frame.
        std::unique_ptr<std::uint8_t[]> reference(
            destination != nullptr ? new (std::nothrow) std::uint8_t[size]() : nullptr);
        if (destination == nullptr || reference == nullptr) {
            source.SetBufferSamples(false);
            result.outcome = GrabOutcome::kNoDestination;
            return result;
        }
        source.CopyCurrentBuffer(reference.get(), size);

        result.outcome = GrabOutcome::kStopped;
        int polls = 0;
        int recoveries = 0;
        while (!context.stop.IsSet()) {
            if (context.clock.SleepMs(context.timings.poll_ms, &context.stop)) break;
            // A failed copy leaves the destination as it was; that is never a
            // fresh frame, whatever the destination held before.
            const bool copied = source.CopyCurrentBuffer(destination, size);
            if (copied) result.frame_copied = true;
            if (copied && std::memcmp(destination, reference.get(), size) != 0) {
                result.outcome = GrabOutcome::kFresh;
                break;
            }
            if (++polls <= kPollsBeforeRecovery) continue;
            Recover(context, caller);
            if (++recoveries >= kMaxGrabRecoveries) {
                result.outcome = GrabOutcome::kGaveUp;
                break;
            }
            source.SetBufferSamples(true);
            WaitForSettledPicture(context);
        }
        source.SetBufferSamples(false);
    }
    if (caller != GrabCaller::kWorker && context.graph.minimised.load()) {
        context.source.StopWhenReady();
    }
    return result;
}

#include "capture/frame_grab.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <new>

#include "platform/clock.h"
#include "platform/stop_signal.h"

namespace {

constexpr std::uint32_t kRunWaitMs = 1000;
constexpr std::uint32_t kRunRetryMs = 100;
constexpr int kRunRounds = 3;
constexpr std::uint32_t kPollMs = 100;
constexpr std::uint32_t kWorkerRecoverySleepMs = 3000;
constexpr std::uint32_t kRecoveryPauseMs = 1000;

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
            context.source.RebuildGraph();
            context.clock.SleepMs(kWorkerRecoverySleepMs, &context.stop);
            break;
        case GrabCaller::kPictureStore:
            context.clock.SleepMs(kRecoveryPauseMs, &context.stop);
            context.source.RebuildGraph();
            break;
        case GrabCaller::kSnapshot:
            context.source.ReleaseGraph();
            context.clock.SleepMs(kRecoveryPauseMs, &context.stop);
            context.source.RebuildGraph();
            break;
    }
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

void RunGraphAndWait(FrameSource& source, Clock& clock, const StopSignal* stop) {
    for (int round = 0; round < kRunRounds; ++round) {
        clock.SleepMs(kRunWaitMs, stop);
        if (!source.Run()) {
            clock.SleepMs(kRunRetryMs, stop);
            continue;
        }
        if (stop != nullptr && stop->IsSet()) return;
        if (source.IsRunning()) return;
    }
}

std::size_t QueryFrameSize(const GrabContext& context) {
    if (!LockGraph(context.graph, context.stop)) return 0;
    GraphLockGuard unlock(context.graph);
    context.source.SetBufferSamples(true);
    RunGraphAndWait(context.source, context.clock, &context.stop);
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
        RunGraphAndWait(source, context.clock, &context.stop);
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
            if (context.clock.SleepMs(kPollMs, &context.stop)) break;
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
        }
        source.SetBufferSamples(false);
    }
    if (caller != GrabCaller::kWorker && context.graph.minimised.load()) {
        context.source.StopWhenReady();
    }
    return result;
}

#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "capture/capture_timings.h"
#include "capture/frame_source.h"
#include "capture/graph_state.h"
#include "capture/picture_settle.h"

class Clock;
class StopSignal;

enum class GrabCaller { kWorker, kPictureStore, kSnapshot };

enum class GrabOutcome {
    kFresh,          // the destination holds a frame that arrived after the grab began
    kStopped,        // the stop request ended the grab; the destination holds what it holds
    kGaveUp,         // the recoveries were spent; the destination holds what it holds
    kNoDestination,  // the caller's destination (or the reference copy) could not be made
    kNotLocked,      // the stop request came while waiting for the graph lock
};

struct GrabResult {
    GrabOutcome outcome = GrabOutcome::kNotLocked;
    std::size_t frame_size = 0;
    // A copy into the destination succeeded: it holds a frame, fresh or not.
    bool frame_copied = false;
};

struct GrabContext {
    FrameSource& source;
    GraphState& graph;
    Clock& clock;
    // The worker's stop request: the run wait and the polling end at its next
    // check, and so does the wait for the graph lock.
    const StopSignal& stop;
    CaptureTimings timings = {};
    // SETTLE_MAX_MS: the longest wait for a settled picture after a start of
    // the stream; 0 waits not at all.
    std::uint32_t settle_max_ms = kDefaultSettleMaxMs;
};

// Recovery rebuilds after which a grab gives up. The worker's limit is 4; the
// picture store and the snapshot use the same bound so that a dead camera
// cannot keep an unattended diary rebuilding forever.
inline constexpr int kMaxGrabRecoveries = 4;
// Polls without a fresh frame before the first recovery.
inline constexpr int kPollsBeforeRecovery = 10;

// At most three rounds of: wait 1000 ms, run, and stop waiting once the graph
// runs (or the stop request is set; pass nullptr for a wait without one).
void RunGraphAndWait(FrameSource& source, Clock& clock, const StopSignal* stop,
                     const CaptureTimings& timings = {});

// Called after the size query, under the graph lock: returns memory of
// `frame_size` bytes for the grab to copy into, or nullptr when it cannot.
using PrepareDestination = std::function<std::uint8_t*(std::size_t frame_size)>;

// Takes a fresh frame by the one protocol: graph lock, buffering on, run and
// wait, the wait for a settled picture after a start of the stream, size
// query (the worker passes the size of its own query instead), reference
// copy, polls every 100 ms until the frame differs, with the caller's
// recovery after the 10th poll (and the settle wait after its start);
// buffering off and unlock; the store's and the snapshot's grabs stop the
// graph again while minimised.
GrabResult GrabFreshFrame(const GrabContext& context, GrabCaller caller,
                          const PrepareDestination& prepare, std::size_t worker_frame_size = 0);

// The worker's size query at its start: lock, buffering on, run and wait,
// size query, buffering off, unlock. Returns 0 when the stop request came
// while waiting for the lock.
std::size_t QueryFrameSize(const GrabContext& context);

// Waits for the graph lock, giving up when `stop` is requested.
bool LockGraph(GraphState& graph, const StopSignal& stop);

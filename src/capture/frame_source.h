#pragma once

#include <cstddef>
#include <cstdint>

#include "capture/frame_format.h"

class StopSignal;

enum class SettleOutcome {
    kSettled,   // settled, or nothing started since the last settled picture
    kTimedOut,  // the bound after the start passed first
    kStalled,   // no new frame came for the stall time, or the stream ended
    kStopped,   // the stop request ended the wait
};

// The grabber operations the frame grab relies on. The GStreamer capture
// graph implements them; tests use a scripted fake.
class FrameSource {
public:
    virtual ~FrameSource() = default;

    // Starts or stops keeping a copy of the latest frame.
    virtual void SetBufferSamples(bool on) = 0;

    // Starts the graph; false when that failed.
    virtual bool Run() = 0;
    // True when the graph is running. Waits (bounded) for a start under way;
    // the wait ends when `stop` (may be null) is requested.
    virtual bool IsRunning(const StopSignal* stop) = 0;
    virtual void StopWhenReady() = 0;
    // Lets go of the device (its light goes off) and keeps the graph: the
    // next Run opens it again, and the settle wait follows that start.
    virtual void ReleaseDevice() {}

    // The format every frame has, as connected at the last build.
    virtual FrameFormat ConnectedFormat() const = 0;

    // Byte size of the kept frame; leaves `size` as it was and returns false
    // when no frame is kept.
    virtual bool QueryBufferSize(std::size_t& size) = 0;

    // Copies the kept frame into `destination`, which holds `size` bytes. Fails,
    // leaving the destination as it was, when no frame is kept or its size
    // differs.
    virtual bool CopyCurrentBuffer(std::uint8_t* destination, std::size_t size) = 0;

    // After a start of the stream, waits until the picture has settled (see
    // picture_settle.h) or `max_ms` after the start has passed; at once when
    // nothing started since the last wait that settled. Ends early on `stop`,
    // and when no new frame came for `stall_ms` or the stream ended, which
    // the grab's recoveries deal with. Called while buffering is on. A source
    // without starts has nothing to wait for.
    virtual SettleOutcome WaitForSettledPicture(const StopSignal& /*stop*/,
                                                std::uint32_t /*max_ms*/,
                                                std::uint32_t /*stall_ms*/) {
        return SettleOutcome::kSettled;
    }

    // Recoveries of a grab that gets no fresh frames. A recovery rebuild never
    // asks the user anything: it binds the stored device when present, else
    // the first one. Its run wait ends on `stop`, the stop of the grab.
    virtual bool RebuildGraph(const StopSignal& stop) = 0;
    virtual void ReleaseGraph() = 0;
};

#pragma once

#include <cstddef>
#include <cstdint>

#include "capture/frame_format.h"

class StopSignal;

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

    // The format every frame has, as connected at the last build.
    virtual FrameFormat ConnectedFormat() const = 0;

    // Byte size of the kept frame; leaves `size` as it was and returns false
    // when no frame is kept.
    virtual bool QueryBufferSize(std::size_t& size) = 0;

    // Copies the kept frame into `destination`, which holds `size` bytes. Fails,
    // leaving the destination as it was, when no frame is kept or its size
    // differs.
    virtual bool CopyCurrentBuffer(std::uint8_t* destination, std::size_t size) = 0;

    // Recoveries of a grab that gets no fresh frames. A recovery rebuild never
    // asks the user anything: it binds the stored device when present, else
    // the first one. Its run wait ends on `stop`, the stop of the grab.
    virtual bool RebuildGraph(const StopSignal& stop) = 0;
    virtual void ReleaseGraph() = 0;
};

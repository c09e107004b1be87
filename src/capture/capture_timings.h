#pragma once

#include <cstdint>

// The designed waits of the run wait and the frame grab. Owners pass shorter
// ones only in tests.
struct CaptureTimings {
    // Each of the run wait's three rounds begins with this wait.
    std::uint32_t run_wait_ms = 1000;
    // The extra wait of a round whose Run failed.
    std::uint32_t run_retry_ms = 100;
    // Between the grab's copies of the current frame.
    std::uint32_t poll_ms = 100;
    // After a recovery build of the worker's own grab.
    std::uint32_t worker_recovery_ms = 3000;
    // Before the rebuild of the picture store's and the snapshot's recovery.
    std::uint32_t recovery_pause_ms = 1000;

    // Every wait divided by `divisor` (at least 1 ms each).
    CaptureTimings DividedBy(std::uint32_t divisor) const;
};

inline CaptureTimings CaptureTimings::DividedBy(std::uint32_t divisor) const {
    if (divisor <= 1) return *this;
    auto part = [divisor](std::uint32_t ms) { return ms / divisor > 0 ? ms / divisor : 1u; };
    return {part(run_wait_ms), part(run_retry_ms), part(poll_ms), part(worker_recovery_ms),
            part(recovery_pause_ms)};
}

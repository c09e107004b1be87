#pragma once

#include <cstdint>
#include <ctime>

class StopSignal;

// Time as the engine sees it: a wrapping millisecond tick, interruptible
// sleeps and the local wall-clock time. Tests substitute a virtual clock.
class Clock {
public:
    virtual ~Clock() = default;

    // Monotonic milliseconds; differences are taken in unsigned 32-bit
    // arithmetic, so a wrap does no harm.
    virtual std::uint32_t TickMs() = 0;

    // Sleeps the given time or until `stop` is requested; returns true when
    // it ended because of the stop.
    virtual bool SleepMs(std::uint32_t duration_ms, const StopSignal* stop) = 0;

    // The current local time, one-second resolution.
    virtual std::tm LocalNow() = 0;

    // The wall-clock time in milliseconds since the epoch (it steps when the
    // clock is set); by default LocalNow's second.
    virtual std::int64_t WallMs();
};

class SystemClock final : public Clock {
public:
    std::uint32_t TickMs() override;
    bool SleepMs(std::uint32_t duration_ms, const StopSignal* stop) override;
    std::tm LocalNow() override;
    std::int64_t WallMs() override;
};

// The process-wide real clock.
Clock& SystemClockInstance();

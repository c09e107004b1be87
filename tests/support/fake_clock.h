#pragma once

#include <atomic>
#include <ctime>

#include "platform/clock.h"

// Virtual time: sleeps advance the tick at once, so waits of seconds run in
// microseconds. The wall clock follows the tick from a settable start.
class FakeClock final : public Clock {
public:
    explicit FakeClock(std::time_t start = 1710491405 /* 2024-03-15 08:30:05 UTC */);

    std::uint32_t TickMs() override { return tick_.load(); }
    bool SleepMs(std::uint32_t duration_ms, const StopSignal* stop) override;
    std::tm LocalNow() override;
    std::int64_t WallMs() override;

    void Advance(std::uint32_t ms) { tick_.fetch_add(ms); }
    void SetTick(std::uint32_t tick) { tick_.store(tick); }
    void SetWallClock(std::time_t start);
    std::uint32_t SleptMs() const { return slept_.load(); }

private:
    std::atomic<std::uint32_t> tick_{100000};
    std::atomic<std::uint32_t> slept_{0};
    std::atomic<std::time_t> wall_start_;
    std::atomic<std::uint32_t> wall_start_tick_{100000};
};

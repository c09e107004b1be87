#include "support/fake_clock.h"

#include <thread>

#include "platform/stop_signal.h"

FakeClock::FakeClock(std::time_t start) : wall_start_(start) {}

bool FakeClock::SleepMs(std::uint32_t duration_ms, const StopSignal* stop) {
    if (stop != nullptr && stop->IsSet()) return true;
    tick_.fetch_add(duration_ms);
    slept_.fetch_add(duration_ms);
    // Let other threads of the test observe the new time.
    std::this_thread::yield();
    return stop != nullptr && stop->IsSet();
}

std::tm FakeClock::LocalNow() {
    const std::time_t now =
        wall_start_.load() +
        static_cast<std::time_t>((tick_.load() - wall_start_tick_.load()) / 1000);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::int64_t FakeClock::WallMs() {
    return static_cast<std::int64_t>(wall_start_.load()) * 1000 +
           static_cast<std::uint32_t>(tick_.load() - wall_start_tick_.load());
}

void FakeClock::SetWallClock(std::time_t start) {
    wall_start_tick_.store(tick_.load());
    wall_start_.store(start);
}

#include "platform/clock.h"

#include <chrono>
#include <thread>

#include "platform/stop_signal.h"

std::uint32_t SystemClock::TickMs() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

bool SystemClock::SleepMs(std::uint32_t duration_ms, const StopSignal* stop) {
    if (stop == nullptr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(duration_ms));
        return false;
    }
    return stop->WaitFor(std::chrono::milliseconds(duration_ms));
}

std::tm SystemClock::LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::int64_t Clock::WallMs() {
    std::tm local = LocalNow();
    return static_cast<std::int64_t>(std::mktime(&local)) * 1000;
}

std::int64_t SystemClock::WallMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

Clock& SystemClockInstance() {
    static SystemClock clock;
    return clock;
}

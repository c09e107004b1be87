#include "platform/stop_signal.h"

#include <algorithm>

void StopSignal::Request() {
    {
        std::lock_guard lock(mutex_);
        set_.store(true, std::memory_order_release);
    }
    wake_.notify_all();
}

void StopSignal::Clear() {
    std::lock_guard lock(mutex_);
    set_.store(false, std::memory_order_release);
}

bool StopSignal::WaitFor(std::chrono::milliseconds timeout) const {
    if (!alive_) {
        std::unique_lock lock(mutex_);
        return wake_.wait_for(lock, timeout, [this] { return IsSet(); });
    }
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        // Outside the lock: the callback may take a while (a datagram).
        alive_();
        const auto now = std::chrono::steady_clock::now();
        std::unique_lock lock(mutex_);
        if (now >= until) return IsSet();
        if (wake_.wait_until(lock, std::min(until, now + kAliveEvery), [this] { return IsSet(); }))
            return true;
    }
}

#include "platform/stop_signal.h"

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
    std::unique_lock lock(mutex_);
    return wake_.wait_for(lock, timeout, [this] { return IsSet(); });
}

#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

// A stop request that sleeping threads can wait on, so that a stop wakes them
// at once instead of after their current sleep.
class StopSignal {
public:
    void Request();
    void Clear();
    bool IsSet() const { return set_.load(std::memory_order_acquire); }

    // Waits up to the given time; returns true when the stop was requested.
    bool WaitFor(std::chrono::milliseconds timeout) const;

private:
    std::atomic<bool> set_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable wake_;
};

#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
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

    // Called on the waiting thread at the start of every wait and at least
    // every kAliveEvery of a long one, so that a thread whose waits all end
    // on this signal shows it is alive while it waits (the diary worker's
    // run, for the service watchdog). Set before any thread waits on it.
    static constexpr std::chrono::milliseconds kAliveEvery{100};
    void SetWhileWaiting(std::function<void()> alive) { alive_ = std::move(alive); }

private:
    std::atomic<bool> set_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable wake_;
    std::function<void()> alive_;
};

#pragma once

#include <atomic>
#include <functional>
#include <thread>

// SIGINT and SIGTERM, taken by a thread of their own with sigwait, so that the
// handler may do more than async-signal-safe calls: it can wake waits at once
// and queue work to the Qt thread, even while that thread is busy.
class SignalRelay {
public:
    // Blocks the stop signals for the calling thread and every thread made
    // after it; call first in main, before any other thread exists.
    static bool BlockStopSignals();

    // `on_signal` runs on the relay's thread, once per signal.
    explicit SignalRelay(std::function<void(int signal)> on_signal);
    ~SignalRelay();
    SignalRelay(const SignalRelay&) = delete;
    SignalRelay& operator=(const SignalRelay&) = delete;

private:
    std::function<void(int)> on_signal_;
    std::atomic<bool> quitting_{false};
    std::thread thread_;
};

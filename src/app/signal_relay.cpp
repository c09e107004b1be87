#include "app/signal_relay.h"

#include <pthread.h>

#include <csignal>

namespace {

// SIGUSR2 only wakes the relay thread when the relay goes away.
sigset_t WaitedSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR2);
    return set;
}

}  // namespace

bool SignalRelay::BlockStopSignals() {
    const sigset_t set = WaitedSignals();
    return pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

SignalRelay::SignalRelay(std::function<void(int signal)> on_signal)
    : on_signal_(std::move(on_signal)) {
    thread_ = std::thread([this] {
        const sigset_t set = WaitedSignals();
        for (;;) {
            int signal = 0;
            if (sigwait(&set, &signal) != 0) continue;
            if (quitting_.load()) return;
            if (signal != SIGUSR2 && on_signal_) on_signal_(signal);
        }
    });
}

SignalRelay::~SignalRelay() {
    quitting_.store(true);
    pthread_kill(thread_.native_handle(), SIGUSR2);
    thread_.join();
}

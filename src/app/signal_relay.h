#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a call on the Qt thread that made the relay:
// the handler only writes a byte to a socket pair, which the event loop
// watches. One relay per process.
class SignalRelay {
public:
    explicit SignalRelay(std::function<void(int signal)> on_signal);
    ~SignalRelay();
    SignalRelay(const SignalRelay&) = delete;
    SignalRelay& operator=(const SignalRelay&) = delete;

    // False when the socket pair or the handlers could not be set up.
    bool ok() const { return ok_; }

private:
    std::function<void(int)> on_signal_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool ok_ = false;
};

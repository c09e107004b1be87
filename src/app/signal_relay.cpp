#include "app/signal_relay.h"

#include <QSocketNotifier>

#include <csignal>
#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_fds[2] = {-1, -1};

void HandleSignal(int signal) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    // A full pipe means a stop is already pending; dropping the byte is fine.
    [[maybe_unused]] const ssize_t written = ::write(g_fds[0], &byte, 1);
    errno = saved;
}

}  // namespace

SignalRelay::SignalRelay(std::function<void(int signal)> on_signal) : on_signal_(std::move(on_signal)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_fds) != 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(g_fds[1], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        unsigned char byte = 0;
        while (::read(g_fds[1], &byte, 1) == 1) {
            if (on_signal_) on_signal_(byte);
        }
    });
    struct sigaction action = {};
    action.sa_handler = HandleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ok_ = ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

SignalRelay::~SignalRelay() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    notifier_.reset();
    for (int& fd : g_fds) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

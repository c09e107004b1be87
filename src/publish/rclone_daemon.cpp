#include "publish/rclone_daemon.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonDocument>
#include <cerrno>
#include <chrono>
#include <cstring>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kOutputKept = 4096;
constexpr std::size_t kMaxAnswer = 256u << 20;
constexpr std::chrono::seconds kStartLimit{20};
constexpr std::chrono::seconds kConnectLimit{5};
constexpr std::string_view kServing = "Serving remote control on http://127.0.0.1:";

std::string RandomHex(std::size_t bytes) {
    std::string raw(bytes, '\0');
    std::size_t got = 0;
    while (got < bytes) {
        const ssize_t n = ::getrandom(raw.data() + got, bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : raw) {
        hex += kHex[c >> 4];
        hex += kHex[c & 15];
    }
    return hex;
}

// Variables that would change what our calls mean: another listener or no
// authentication, a dry run that only pretends, questions on a terminal.
bool InheritedVariable(std::string_view entry) {
    return !entry.starts_with("RCLONE_RC_") && !entry.starts_with("RCLONE_DRY_RUN=") &&
           !entry.starts_with("RCLONE_INTERACTIVE=") && !entry.starts_with("RCLONE_IGNORE_TIMES=");
}

class Socket {
public:
    ~Socket() {
        if (fd >= 0) ::close(fd);
    }
    int fd = -1;
};

bool WaitFor(int fd, short events, Clock::time_point deadline, const AbortFn& abort,
             const std::function<void()>& between) {
    for (;;) {
        if (abort && abort()) return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
        if (r > 0) return true;
        if (r < 0 && errno != EINTR) return false;
        if (between) between();
    }
}

// The body of an HTTP/1.1 answer: by Content-Length, chunked, or to the end.
bool ParseAnswer(const std::string& raw, int& status, std::string& body) {
    const std::size_t head_end = raw.find("\r\n\r\n");
    if (head_end == std::string::npos || !raw.starts_with("HTTP/1.")) return false;
    const std::size_t space = raw.find(' ');
    if (space == std::string::npos || space > head_end) return false;
    status = std::atoi(raw.c_str() + space + 1);
    std::string head = raw.substr(0, head_end);
    for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string rest = raw.substr(head_end + 4);
    if (head.find("\r\ntransfer-encoding: chunked") != std::string::npos) {
        body.clear();
        std::size_t at = 0;
        for (;;) {
            const std::size_t line_end = rest.find("\r\n", at);
            if (line_end == std::string::npos) return false;
            const unsigned long size = std::strtoul(rest.c_str() + at, nullptr, 16);
            at = line_end + 2;
            if (size == 0) return true;
            if (at + size > rest.size()) return false;
            body.append(rest, at, size);
            at += size + 2;
        }
    }
    body = rest;
    return true;
}

}  // namespace

bool RcloneDaemon::Start(const Options& options, const AbortFn& abort, std::string* error) {
    Stop();
    const std::string user = RandomHex(16);
    const std::string pass = RandomHex(16);
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        if (InheritedVariable(*e)) env.emplace_back(*e);
    }
    env.push_back("RCLONE_RC_USER=" + user);
    env.push_back("RCLONE_RC_PASS=" + pass);
    // Our own comparisons decide what is sent, so rclone must not skip a
    // file whose size and time look alike (pages keep their size, and many
    // servers keep no times). Listings take the server's time of a file
    // where reading the file's own would cost a request each.
    std::vector<std::string> argv = {options.rclone,          "rcd",
                                     "--rc-addr=127.0.0.1:0", "--log-level=NOTICE",
                                     "--ignore-times",        "--use-server-modtime",
                                     "--contimeout=20s",      "--timeout=2m",
                                     "--low-level-retries=3"};
    if (!options.config.empty()) argv.push_back("--config=" + options.config);
    if (!options.bwlimit.empty()) argv.push_back("--bwlimit=" + options.bwlimit);
    if (!child_.Start(argv, env, error)) return false;

    const auto deadline = Clock::now() + kStartLimit;
    while (Clock::now() < deadline && !(abort && abort())) {
        DrainOutput(std::chrono::milliseconds(50));
        const std::size_t at = output_.find(kServing);
        if (at != std::string::npos) {
            port_ = std::atoi(output_.c_str() + at + kServing.size());
            if (port_ > 0 && port_ < 65536) break;
            port_ = 0;
        }
        if (!child_.Running()) break;
    }
    if (port_ == 0) {
        DrainOutput(std::chrono::milliseconds(0));
        if (error) *error = output_.empty() ? "rclone rcd did not start" : output_;
        Stop();
        return false;
    }
    authorization_ =
        "Basic " + QByteArray::fromStdString(user + ":" + pass).toBase64().toStdString();
    return true;
}

void RcloneDaemon::DrainOutput(std::chrono::milliseconds wait) {
    output_ += child_.ReadErrors(wait);
    if (output_.size() > kOutputKept) {
        std::size_t cut = output_.size() - kOutputKept;
        const std::size_t line = output_.find('\n', cut);
        if (line != std::string::npos) cut = line + 1;
        output_.erase(0, cut);
    }
}

void RcloneDaemon::Stop() {
    // What it was doing for us is over: a partial upload it leaves is
    // removed at the stop or by the next look at the remote.
    child_.Stop(std::chrono::milliseconds(100));
    port_ = 0;
    authorization_.clear();
}

RcReply RcloneDaemon::Call(const std::string& method, const QJsonObject& params,
                           const AbortFn& abort) {
    RcReply reply;
    if (port_ == 0) {
        reply.error = "rclone rcd is not running";
        return reply;
    }
    const auto drain = [this] { DrainOutput(std::chrono::milliseconds(0)); };
    const auto aborted = [&] {
        reply.kind = RcReply::Kind::kAborted;
        reply.error = "aborted";
        return reply;
    };
    Socket socket;
    socket.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket.fd < 0) {
        reply.error = std::strerror(errno);
        return reply;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port_));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS) {
            reply.error = std::string("rclone rcd: ") + std::strerror(errno);
            return reply;
        }
        if (!WaitFor(socket.fd, POLLOUT, Clock::now() + kConnectLimit, abort, drain)) {
            if (abort && abort()) return aborted();
            reply.error = "rclone rcd does not answer";
            return reply;
        }
        int so_error = 0;
        socklen_t length = sizeof so_error;
        ::getsockopt(socket.fd, SOL_SOCKET, SO_ERROR, &so_error, &length);
        if (so_error != 0) {
            reply.error = std::string("rclone rcd: ") + std::strerror(so_error);
            return reply;
        }
    }

    const QByteArray json = QJsonDocument(params).toJson(QJsonDocument::Compact);
    std::string request =
        "POST /" + method + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) +
        "\r\nAuthorization: " + authorization_ +
        "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(json.size()) +
        "\r\nConnection: close\r\n\r\n";
    request.append(json.constData(), static_cast<std::size_t>(json.size()));
    // No deadline of our own for the answer: an upload may take long on a
    // slow line, and rclone's own time-outs end a stalled one.
    const auto forever = Clock::time_point::max();
    std::size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n =
            ::send(socket.fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!WaitFor(socket.fd, POLLOUT, forever, abort, drain)) return aborted();
            continue;
        }
        reply.error = std::string("rclone rcd: ") + std::strerror(errno);
        return reply;
    }
    std::string raw;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(socket.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            raw.append(buffer, static_cast<std::size_t>(n));
            if (raw.size() > kMaxAnswer) {
                reply.error = "rclone rcd: answer too long";
                return reply;
            }
            continue;
        }
        if (n == 0) break;
        if (errno == EINTR) continue;
        if (errno == EAGAIN) {
            if (!WaitFor(socket.fd, POLLIN, forever, abort, drain)) return aborted();
            continue;
        }
        reply.error = std::string("rclone rcd: ") + std::strerror(errno);
        return reply;
    }
    drain();
    std::string body;
    if (!ParseAnswer(raw, reply.status, body)) {
        reply.error = "rclone rcd: no answer";
        return reply;
    }
    QJsonParseError parse_error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(body), &parse_error);
    if (document.isObject()) reply.body = document.object();
    if (reply.status == 200 && document.isObject()) {
        reply.kind = RcReply::Kind::kOk;
        return reply;
    }
    reply.kind = RcReply::Kind::kError;
    reply.error = reply.body.value(QStringLiteral("error")).toString().toStdString();
    if (reply.error.empty()) reply.error = "HTTP " + std::to_string(reply.status) + ": " + body;
    return reply;
}

#include "publish/rclone_daemon.h"

#include <libsoup/soup.h>
#include <sys/random.h>

#include <QByteArray>
#include <QJsonDocument>
#include <cerrno>
#include <chrono>
#include <cstring>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxAnswer = 256u << 20;
constexpr std::chrono::seconds kStartLimit{20};
// While a call waits, the stop and rclone's error output are looked at this often.
constexpr guint kLookMs = 50;
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

}  // namespace

// One session for the daemon's life (it keeps the connection to rclone
// open between calls), on a main context that only the owning thread runs.
struct RcloneDaemon::Http {
    Http() : context(g_main_context_new()) {
        g_main_context_push_thread_default(context);
        session = soup_session_new();
        // Loopback, always direct: a proxy of the environment would see the password.
        soup_session_set_proxy_resolver(session, nullptr);
        // No deadline of our own for an answer: an upload may take long on
        // a slow line, and rclone's own time-outs end a stalled one.
        soup_session_set_timeout(session, 0);
        g_main_context_pop_thread_default(context);
    }
    ~Http() {
        g_object_unref(session);
        g_main_context_unref(context);
    }
    Http(const Http&) = delete;
    Http& operator=(const Http&) = delete;

    GMainContext* context;
    SoupSession* session = nullptr;
};

RcloneDaemon::RcloneDaemon() = default;
RcloneDaemon::~RcloneDaemon() { Stop(); }

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
    std::string start_error;
    if (!child_.Start(argv, env, start_error)) {
        if (error) *error = start_error;
        return false;
    }

    const auto deadline = Clock::now() + kStartLimit;
    while (Clock::now() < deadline && !(abort && abort())) {
        child_.WaitForErrors(std::chrono::milliseconds(50));
        const std::string& output = child_.RecentErrors();
        const std::size_t at = output.find(kServing);
        if (at != std::string::npos) {
            port_ = std::atoi(output.c_str() + at + kServing.size());
            if (port_ > 0 && port_ < 65536) break;
            port_ = 0;
        }
        if (!child_.Poll()) break;
    }
    if (port_ == 0) {
        child_.WaitForErrors(std::chrono::milliseconds(0));
        if (error) {
            *error =
                child_.RecentErrors().empty() ? "rclone rcd did not start" : child_.RecentErrors();
        }
        Stop();
        return false;
    }
    authorization_ =
        "Basic " + QByteArray::fromStdString(user + ":" + pass).toBase64().toStdString();
    http_ = std::make_unique<Http>();
    return true;
}

void RcloneDaemon::Stop() {
    http_.reset();
    // What it was doing for us is over: a partial upload it leaves is
    // removed at the stop or by the next look at the remote.
    child_.End(std::chrono::milliseconds(100));
    port_ = 0;
    authorization_.clear();
}

RcReply RcloneDaemon::Call(const std::string& method, const QJsonObject& params,
                           const AbortFn& abort) {
    RcReply reply;
    if (port_ == 0 || !http_) {
        reply.error = "rclone rcd is not running";
        return reply;
    }
    const std::string url = "http://127.0.0.1:" + std::to_string(port_) + "/" + method;
    SoupMessage* message = soup_message_new("POST", url.c_str());
    if (message == nullptr) {
        reply.error = "rclone rcd: " + url;
        return reply;
    }
    soup_message_headers_replace(soup_message_get_request_headers(message), "Authorization",
                                 authorization_.c_str());
    const QByteArray json = QJsonDocument(params).toJson(QJsonDocument::Compact);
    GBytes* request = g_bytes_new(json.constData(), static_cast<gsize>(json.size()));
    soup_message_set_request_body_from_bytes(message, "application/json", request);
    g_bytes_unref(request);

    // The call runs on this thread's own context, which is turned here
    // until the answer comes, looking at the stop and draining rclone's
    // error output meanwhile; a stop cancels it, which drops the connection
    // and so cancels the call in rclone.
    struct Pending {
        GBytes* body = nullptr;
        GError* error = nullptr;
        bool done = false;
    } pending;
    GCancellable* cancellable = g_cancellable_new();
    g_main_context_push_thread_default(http_->context);
    soup_session_send_and_read_async(
        http_->session, message, G_PRIORITY_DEFAULT, cancellable,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* p = static_cast<Pending*>(data);
            p->body = soup_session_send_and_read_finish(SOUP_SESSION(source), result, &p->error);
            p->done = true;
        },
        &pending);
    bool aborted = false;
    while (!pending.done) {
        if (!aborted && abort && abort()) {
            aborted = true;
            g_cancellable_cancel(cancellable);
        }
        GSource* tick = g_timeout_source_new(kLookMs);
        g_source_set_callback(
            tick, [](gpointer) { return G_SOURCE_REMOVE; }, nullptr, nullptr);
        g_source_attach(tick, http_->context);
        g_main_context_iteration(http_->context, TRUE);
        g_source_destroy(tick);
        g_source_unref(tick);
        child_.WaitForErrors(std::chrono::milliseconds(0));
    }
    g_main_context_pop_thread_default(http_->context);
    g_object_unref(cancellable);
    reply.status = static_cast<int>(soup_message_get_status(message));
    g_object_unref(message);

    std::string body;
    if (pending.body != nullptr) {
        gsize size = 0;
        const auto* data = static_cast<const char*>(g_bytes_get_data(pending.body, &size));
        if (size <= kMaxAnswer && data != nullptr) body.assign(data, size);
        g_bytes_unref(pending.body);
        if (size > kMaxAnswer) {
            reply.error = "rclone rcd: answer too long";
            return reply;
        }
    }
    if (pending.error != nullptr) {
        const bool cancelled = g_error_matches(pending.error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
        reply.error = std::string("rclone rcd: ") + pending.error->message;
        g_error_free(pending.error);
        if (aborted || cancelled) {
            reply.kind = RcReply::Kind::kAborted;
            reply.error = "aborted";
        }
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

#include "mqtt/mqtt_client.h"

#include <errno.h>
#include <fcntl.h>
#include <mosquitto.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtGlobal>
#include <cstring>
#include <mutex>

#include "log/log_text.h"
#include "mqtt/mqtt_settings.h"

namespace {

// Seconds between the network thread's attempts: 1, then growing to 60.
constexpr unsigned kRetryFirstSeconds = 1;
constexpr unsigned kRetryLastSeconds = 60;
constexpr int kKeepAliveSeconds = 30;
constexpr std::size_t kPasswordFileMax = 4096;

void InitLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

std::string InSettingsFolder(const std::string& path, const std::string& settings_directory) {
    if (path.empty() || path.front() == '/' || settings_directory.empty()) return path;
    return settings_directory + path;
}

LogText PasswordFileLine(const char* source, const std::string& path, const std::string& why = {}) {
    return TranslatedLogText("Mqtt", source, {path, why});
}

// The first line of the password file, or the problem with the file.
std::optional<LogText> ReadPassword(const std::string& path, std::string& password) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return PasswordFileLine(
            QT_TRANSLATE_NOOP("Mqtt", "MQTT のパスワードファイル %1 を読めません: %2"), path,
            std::strerror(errno));
    }
    struct stat st {};
    std::optional<LogText> problem;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        problem = PasswordFileLine(
            QT_TRANSLATE_NOOP("Mqtt", "MQTT のパスワードファイル %1 を読めません: %2"), path,
            "not a regular file");
    } else if ((st.st_mode & (S_IRGRP | S_IROTH | S_IWGRP | S_IWOTH)) != 0) {
        problem = PasswordFileLine(
            QT_TRANSLATE_NOOP("Mqtt",
                              "MQTT のパスワードファイル %1 は所有者以外も読み書きできるため"
                              "使いません (chmod 600 にしてください)"),
            path);
    } else {
        std::string text(kPasswordFileMax, '\0');
        const ssize_t got = ::read(fd, text.data(), text.size());
        if (got < 0) {
            problem = PasswordFileLine(
                QT_TRANSLATE_NOOP("Mqtt", "MQTT のパスワードファイル %1 を読めません: %2"), path,
                std::strerror(errno));
        } else {
            text.resize(static_cast<std::size_t>(got));
            password = text.substr(0, text.find('\n'));
            if (!password.empty() && password.back() == '\r') password.pop_back();
        }
    }
    ::close(fd);
    return problem;
}

}  // namespace

std::string MqttHostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

std::string MqttBaseTopic(const std::string& configured) {
    std::string topic = configured;
    while (!topic.empty() && topic.back() == '/') topic.pop_back();
    if (topic.empty()) return "quillomat/" + TopicSafe(MqttHostName());
    return topic;
}

MqttResolution ResolveMqtt(const MqttSettings& settings, const std::string& settings_directory) {
    MqttResolution resolution;
    if (settings.HOST.empty()) return resolution;
    MqttConnectFacts facts;
    facts.host = settings.HOST;
    facts.port = settings.PORT;
    facts.user = settings.USER;
    facts.base_topic = MqttBaseTopic(settings.TOPIC);
    if (facts.base_topic.find_first_of("+#") != std::string::npos) {
        resolution.problem = TranslatedLogText(
            "Mqtt",
            QT_TRANSLATE_NOOP("Mqtt", "MQTT の TOPIC %1 にワイルドカード (+ #) は使えません"),
            {facts.base_topic});
        return resolution;
    }
    if (settings.TLS_CA == "system") {
        facts.ca_path = "/etc/ssl/certs";
    } else if (!settings.TLS_CA.empty()) {
        facts.ca_file = InSettingsFolder(settings.TLS_CA, settings_directory);
        if (::access(facts.ca_file.c_str(), R_OK) != 0) {
            resolution.problem = TranslatedLogText(
                "Mqtt", QT_TRANSLATE_NOOP("Mqtt", "MQTT の CA ファイル %1 を読めません: %2"),
                {facts.ca_file, std::strerror(errno)});
            return resolution;
        }
    }
    if (!settings.PASSWORD_FILE.empty()) {
        const std::string path = InSettingsFolder(settings.PASSWORD_FILE, settings_directory);
        if (std::optional<LogText> problem = ReadPassword(path, facts.password)) {
            resolution.problem = std::move(problem);
            return resolution;
        }
    }
    resolution.facts = std::move(facts);
    return resolution;
}

std::string MqttRefusalReason(int connack_code) {
    switch (connack_code) {
        case 1:
            return "refused: protocol version";
        case 2:
            return "refused: client id";
        case 3:
            return "refused: broker unavailable";
        case 4:
        case 5:
        case 134:  // MQTT 5: bad user name or password
        case 135:  // MQTT 5: not authorised
            return "not authorised (user name or password)";
        default:
            return "refused (" + std::to_string(connack_code) + ")";
    }
}

std::string MqttDisconnectReason(int rc, int error_number) {
    switch (rc) {
        case MOSQ_ERR_TLS:
        case MOSQ_ERR_TLS_HANDSHAKE:
            return "TLS failure";
        case MOSQ_ERR_KEEPALIVE:
            return "no answer";
        case MOSQ_ERR_EAI:
            return "host not found";
        case MOSQ_ERR_CONN_REFUSED:
        case MOSQ_ERR_AUTH:
            return "not authorised (user name or password)";
        case MOSQ_ERR_ERRNO:
            return error_number != 0 ? std::strerror(error_number) : "connection lost";
        default:
            return mosquitto_strerror(rc);
    }
}

MqttClient::MqttClient(MqttConnectFacts facts, std::vector<std::string> subscriptions,
                       Handlers handlers)
    : facts_(std::move(facts)),
      subscriptions_(std::move(subscriptions)),
      handlers_(std::move(handlers)) {}

MqttClient::~MqttClient() { Stop(std::nullopt, std::chrono::milliseconds(0)); }

std::string MqttClient::Start() {
    InitLibraryOnce();
    client_ = mosquitto_new(nullptr, true, this);
    if (client_ == nullptr) {
        gave_up_ = true;
        return std::strerror(errno);
    }
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(client_, &MqttClient::OnConnect);
    mosquitto_disconnect_callback_set(client_, &MqttClient::OnDisconnect);
    mosquitto_message_callback_set(client_, &MqttClient::OnMessage);
    mosquitto_log_callback_set(client_, &MqttClient::OnLog);
    mosquitto_reconnect_delay_set(client_, kRetryFirstSeconds, kRetryLastSeconds, true);
    const std::string will = MqttTopicOf(facts_.base_topic, mqtt_topic::kAvailability);
    mosquitto_will_set(client_, will.c_str(), 7, "offline", 1, true);
    if (!facts_.user.empty()) {
        mosquitto_username_pw_set(client_, facts_.user.c_str(),
                                  facts_.password.empty() ? nullptr : facts_.password.c_str());
    }
    if (!facts_.ca_file.empty() || !facts_.ca_path.empty()) {
        const int rc = mosquitto_tls_set(
            client_, facts_.ca_file.empty() ? nullptr : facts_.ca_file.c_str(),
            facts_.ca_path.empty() ? nullptr : facts_.ca_path.c_str(), nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            gave_up_ = true;
            return "TLS failure: " + std::string(mosquitto_strerror(rc));
        }
    }
    // Asynchronous: the first attempt's answer comes on the network thread.
    // A failure at once (refused, no route) is not: libmosquitto's thread
    // would then never try again and wake every 10 ms, so the owner makes a
    // new client after its pause instead.
    const int rc =
        mosquitto_connect_async(client_, facts_.host.c_str(), facts_.port, kKeepAliveSeconds);
    const int error_number = errno;
    if (rc != MOSQ_ERR_SUCCESS) {
        gave_up_ = true;
        return MqttDisconnectReason(rc, error_number);
    }
    if (mosquitto_loop_start(client_) != MOSQ_ERR_SUCCESS) {
        gave_up_ = true;
        return "no network thread";
    }
    thread_started_ = true;
    return {};
}

bool MqttClient::Publish(const std::string& topic, std::string_view payload, bool retain, int qos) {
    if (client_ == nullptr || !connected_.load()) return false;
    return mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                             payload.data(), qos, retain) == MOSQ_ERR_SUCCESS;
}

void MqttClient::Stop(const std::optional<MqttMessage>& last, std::chrono::milliseconds limit) {
    if (client_ == nullptr || stopping_) return;
    stopping_ = true;
    stop_asked_ = true;
    if (thread_started_) {
        bool clean = false;
        if (connected_.load()) {
            if (last) {
                mosquitto_publish(client_, nullptr, last->topic.c_str(),
                                  static_cast<int>(last->payload.size()), last->payload.data(), 0,
                                  true);
            }
            // Written after what was queued before it, on the same connection.
            if (mosquitto_disconnect(client_) == MOSQ_ERR_SUCCESS) {
                std::unique_lock lock(ended_mutex_);
                clean = ended_.wait_for(lock, limit, [this] { return disconnected_; });
            }
        } else {
            mosquitto_disconnect(client_);
        }
        // A thread between attempts (or in one that never answers) is ended
        // where it waits: the program's stop must not wait for the network.
        mosquitto_loop_stop(client_, !clean);
    }
    mosquitto_destroy(client_);
    client_ = nullptr;
    connected_ = false;
}

void MqttClient::OnConnect(mosquitto* client, void* self_pointer, int rc) {
    auto& self = *static_cast<MqttClient*>(self_pointer);
    if (rc != 0) {
        self.handlers_.failed(MqttRefusalReason(rc), false);
        return;
    }
    for (const std::string& topic : self.subscriptions_)
        mosquitto_subscribe(client, nullptr, topic.c_str(), 1);
    self.connected_ = true;
    self.handlers_.connected();
}

void MqttClient::OnDisconnect(mosquitto*, void* self_pointer, int rc) {
    const int error_number = errno;
    auto& self = *static_cast<MqttClient*>(self_pointer);
    const bool was_open = self.connected_.exchange(false);
    if (self.stop_asked_.load()) {
        std::lock_guard lock(self.ended_mutex_);
        self.disconnected_ = true;
        self.ended_.notify_all();
        return;
    }
    // The codes after which libmosquitto's thread no longer retries.
    switch (rc) {
        case MOSQ_ERR_NOMEM:
        case MOSQ_ERR_PROTOCOL:
        case MOSQ_ERR_INVAL:
        case MOSQ_ERR_NOT_FOUND:
        case MOSQ_ERR_TLS:
        case MOSQ_ERR_PAYLOAD_SIZE:
        case MOSQ_ERR_NOT_SUPPORTED:
        case MOSQ_ERR_AUTH:
        case MOSQ_ERR_ACL_DENIED:
        case MOSQ_ERR_UNKNOWN:
        case MOSQ_ERR_EAI:
        case MOSQ_ERR_PROXY:
            self.gave_up_ = true;
            break;
        default:
            if (error_number == EPROTO) self.gave_up_ = true;
            break;
    }
    self.handlers_.failed(MqttDisconnectReason(rc, error_number), was_open);
}

void MqttClient::OnMessage(mosquitto*, void* self_pointer, const mosquitto_message* message) {
    auto& self = *static_cast<MqttClient*>(self_pointer);
    self.handlers_.message(
        message->topic != nullptr ? message->topic : "",
        std::string_view(
            static_cast<const char*>(message->payload),
            message->payload != nullptr ? static_cast<std::size_t>(message->payloadlen) : 0),
        message->retain);
}

// A failed TLS handshake ends libmosquitto's thread without always telling
// on_disconnect; its log line is what says it.
void MqttClient::OnLog(mosquitto*, void* self_pointer, int level, const char* text) {
    if (level != MOSQ_LOG_ERR || text == nullptr) return;
    const std::string_view line(text);
    if (!line.starts_with("OpenSSL Error")) return;
    auto& self = *static_cast<MqttClient*>(self_pointer);
    if (self.stop_asked_.load() || self.gave_up_.exchange(true)) return;
    const std::size_t colon = line.rfind(':');
    std::string why = "TLS failure";
    if (colon != std::string_view::npos && colon + 1 < line.size())
        why += ": " + std::string(line.substr(colon + 1));
    self.handlers_.failed(why, self.connected_.exchange(false));
}

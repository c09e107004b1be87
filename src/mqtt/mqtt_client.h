#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mqtt/mqtt_discovery.h"
#include "platform/log_text.h"

struct MqttSettings;
struct mosquitto;
struct mosquitto_message;

// What a connection to the broker is made with, from [MQTT]: paths resolved,
// the password read from its file. Never logged as a whole.
struct MqttConnectFacts {
    std::string host;
    int port = 1883;
    std::string ca_file;  // TLS with this CA file, or
    std::string ca_path;  // with the authorities of this folder; both empty: none
    std::string user;
    std::string password;
    std::string base_topic;  // TOPIC, or its default

    bool operator==(const MqttConnectFacts&) const = default;
};

// TOPIC as set, or "quillomat/<host name>" made topic-safe; without a
// trailing "/".
std::string MqttBaseTopic(const std::string& configured);
// This machine's name as gethostname gives it ("" when it cannot).
std::string MqttHostName();

// The facts of [MQTT], or why there are none: a password file that others
// than its owner may read, or that cannot be read; a TOPIC with a wildcard.
// `settings_directory` is where relative paths lie. A HOST that is empty
// gives neither (off).
struct MqttResolution {
    std::optional<MqttConnectFacts> facts;
    std::optional<LogText> problem;
};
MqttResolution ResolveMqtt(const MqttSettings& settings, const std::string& settings_directory);

// A short reason, as a person reads it, for a CONNACK refusal and for what
// ended a connection (libmosquitto's codes; `error_number` for a system
// error).
std::string MqttRefusalReason(int connack_code);
std::string MqttDisconnectReason(int rc, int error_number);

// One client of the broker with libmosquitto's own network thread: it
// connects without waiting, reconnects by itself with growing pauses (1 s up
// to 60 s), and leaves the last will "offline" on <base>/availability. The
// handlers run on the network thread. Publish is callable from any thread.
class MqttClient {
public:
    struct Handlers {
        // Accepted by the broker (subscriptions are made before).
        std::function<void()> connected = [] {};
        // A connection attempt failed or an open connection ended; `was_open`
        // tells which. Not for the end asked for by Stop.
        std::function<void(const std::string& why, bool was_open)> failed = [](const std::string&,
                                                                               bool) {};
        std::function<void(const std::string& topic, std::string_view payload, bool retained)>
            message = [](const std::string&, std::string_view, bool) {};
    };

    MqttClient(MqttConnectFacts facts, std::vector<std::string> subscriptions, Handlers handlers);
    // Stop with no last message.
    ~MqttClient();
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    // Starts the first attempt and the network thread. "" or why the first
    // attempt failed at once; then GaveUp() and no thread runs.
    std::string Start();
    // QoS 0 for states (a connection that drops leaves nothing queued to come
    // back stale), 1 for what must arrive. False while not connected.
    bool Publish(const std::string& topic, std::string_view payload, bool retain, int qos = 0);
    bool Connected() const { return connected_.load(); }
    // libmosquitto's thread ended for good (a TLS failure, a protocol error)
    // or never started (the first attempt failed at once): only a new
    // client tries again.
    bool GaveUp() const { return gave_up_.load(); }
    // Publishes `last` (retained) when connected, disconnects and ends the
    // network thread, waiting at most about `limit` for a clean end.
    void Stop(const std::optional<MqttMessage>& last, std::chrono::milliseconds limit);

private:
    static void OnConnect(mosquitto* client, void* self, int rc);
    static void OnDisconnect(mosquitto* client, void* self, int rc);
    static void OnMessage(mosquitto* client, void* self, const mosquitto_message* message);
    static void OnLog(mosquitto* client, void* self, int level, const char* text);

    const MqttConnectFacts facts_;
    const std::vector<std::string> subscriptions_;
    const Handlers handlers_;
    mosquitto* client_ = nullptr;
    bool thread_started_ = false;
    bool stopping_ = false;  // the owner's thread only
    std::atomic<bool> connected_{false};
    std::atomic<bool> gave_up_{false};
    std::atomic<bool> stop_asked_{false};
    std::mutex ended_mutex_;
    std::condition_variable ended_;
    bool disconnected_ = false;
};

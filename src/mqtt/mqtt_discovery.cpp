#include "mqtt/mqtt_discovery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

std::string MqttTopicOf(const std::string& base, const char* leaf) { return base + "/" + leaf; }

std::string TopicSafe(const std::string& text) {
    std::string safe;
    for (const char c : text) {
        const bool bad = c == '+' || c == '#' || c == '/' || static_cast<unsigned char>(c) <= ' ';
        safe += bad ? '_' : c;
    }
    return safe.empty() ? "quillomat" : safe;
}

std::string DiscoveryNodeId(const std::string& base_topic) {
    std::string id;
    for (const char c : base_topic) {
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '_' || c == '-';
        id += kept ? c : '_';
    }
    return id.empty() ? "quillomat" : id;
}

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

struct Entity {
    const char* component;
    const char* object_id;
    const char* name;
    // Filled with the entity's own keys.
    void (*fill)(QJsonObject& config, const std::string& base);
};

const Entity kEntities[] = {
    {"image", "picture", "Picture",
     [](QJsonObject& c, const std::string& base) {
         c["image_topic"] = Q(MqttTopicOf(base, mqtt_topic::kPicture));
         c["content_type"] = "image/jpeg";
     }},
    {"binary_sensor", "motion", "Motion",
     [](QJsonObject& c, const std::string& base) {
         c["state_topic"] = Q(MqttTopicOf(base, mqtt_topic::kMotion));
         c["device_class"] = "motion";
         c["payload_on"] = "ON";
         c["payload_off"] = "OFF";
     }},
    {"binary_sensor", "camera", "Camera",
     [](QJsonObject& c, const std::string& base) {
         c["state_topic"] = Q(MqttTopicOf(base, mqtt_topic::kCamera));
         c["device_class"] = "connectivity";
         c["payload_on"] = "ON";
         c["payload_off"] = "OFF";
     }},
    {"sensor", "last_picture", "Last picture",
     [](QJsonObject& c, const std::string& base) {
         c["state_topic"] = Q(MqttTopicOf(base, mqtt_topic::kLastPicture));
         c["device_class"] = "timestamp";
     }},
    {"sensor", "failed_stores", "Failed stores",
     [](QJsonObject& c, const std::string& base) {
         c["state_topic"] = Q(MqttTopicOf(base, mqtt_topic::kFailedStores));
         c["state_class"] = "measurement";
     }},
    {"sensor", "free_mb", "Free space",
     [](QJsonObject& c, const std::string& base) {
         c["state_topic"] = Q(MqttTopicOf(base, mqtt_topic::kFreeMb));
         c["unit_of_measurement"] = "MiB";
         c["device_class"] = "data_size";
     }},
    {"switch", "recording", "Recording",
     [](QJsonObject& c, const std::string& base) {
         c["state_topic"] = Q(MqttTopicOf(base, mqtt_topic::kRecording));
         c["command_topic"] = Q(MqttTopicOf(base, mqtt_topic::kRecordingSet));
         c["payload_on"] = "ON";
         c["payload_off"] = "OFF";
     }},
    {"button", "store", "Store a picture",
     [](QJsonObject& c, const std::string& base) {
         c["command_topic"] = Q(MqttTopicOf(base, mqtt_topic::kStorePress));
         c["payload_press"] = "PRESS";
     }},
};

}  // namespace

std::vector<MqttMessage> DiscoveryMessages(const DiscoveryFacts& facts, bool on) {
    const std::string node = DiscoveryNodeId(facts.base_topic);
    QJsonObject device;
    device["identifiers"] = QJsonArray{Q(node)};
    device["name"] = Q("Quillomat " + facts.device_name);
    device["manufacturer"] = "Quillomat";
    device["model"] = "Quillomat webcam diary";
    if (!facts.sw_version.empty()) device["sw_version"] = Q(facts.sw_version);

    std::vector<MqttMessage> messages;
    for (const Entity& entity : kEntities) {
        MqttMessage message;
        message.topic =
            facts.prefix + "/" + entity.component + "/" + node + "/" + entity.object_id + "/config";
        if (on) {
            QJsonObject config;
            config["unique_id"] = Q(node + "_" + entity.object_id);
            config["name"] = entity.name;
            config["device"] = device;
            config["availability_topic"] =
                Q(MqttTopicOf(facts.base_topic, mqtt_topic::kAvailability));
            config["payload_available"] = "online";
            config["payload_not_available"] = "offline";
            entity.fill(config, facts.base_topic);
            message.payload = QJsonDocument(config).toJson(QJsonDocument::Compact).toStdString();
        }
        messages.push_back(std::move(message));
    }
    return messages;
}

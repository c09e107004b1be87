#pragma once

#include <string>
#include <vector>

// The topics the link publishes and listens to, under TOPIC.
namespace mqtt_topic {
inline constexpr const char* kAvailability = "availability";
inline constexpr const char* kPicture = "picture";
inline constexpr const char* kMotion = "motion";
inline constexpr const char* kCamera = "camera";
inline constexpr const char* kLastPicture = "last_picture";
inline constexpr const char* kFailedStores = "failed_stores";
inline constexpr const char* kFreeMb = "free_mb";
inline constexpr const char* kRecording = "recording";
inline constexpr const char* kRecordingSet = "recording/set";
inline constexpr const char* kStorePress = "store/press";
}  // namespace mqtt_topic

// `base` + "/" + `leaf`.
std::string MqttTopicOf(const std::string& base, const char* leaf);

// `text` as one level of a topic: the wildcards, the level separator and
// blanks become "_"; empty becomes "quillomat".
std::string TopicSafe(const std::string& text);
// The node id of the discovery topics: TOPIC with everything but letters,
// digits, "_" and "-" as "_".
std::string DiscoveryNodeId(const std::string& base_topic);

struct MqttMessage {
    std::string topic;
    std::string payload;
};

// What the smart home is told of the device.
struct DiscoveryFacts {
    std::string base_topic;
    std::string prefix;       // DISCOVERY_PREFIX
    std::string device_name;  // the host's
    std::string sw_version;   // empty: not said
};

// Home Assistant's config messages, one per entity, each to be published
// retained under <prefix>/<component>/<node id>/<object id>/config: the
// picture, motion, the camera, the last picture's time, failed stores, free
// space, the recording switch and the store button. `on` false: the same
// topics with empty payloads, which remove the entities.
std::vector<MqttMessage> DiscoveryMessages(const DiscoveryFacts& facts, bool on);

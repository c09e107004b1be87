#pragma once

#include <cstdint>
#include <string>

#include "settings/settings_section.h"

// [MQTT]: an empty HOST switches the link to the broker off. Paths are
// relative to the settings folder unless absolute.
struct MqttSettings {
    std::string HOST;
    std::int32_t PORT = 1883;
    // Empty: no TLS; "system": the system's authorities; else a CA file.
    std::string TLS_CA;
    std::string USER;
    // Its first line is the password; only its owner may read it.
    std::string PASSWORD_FILE;
    // Empty: "quillomat/<host name>".
    std::string TOPIC;
    bool DISCOVERY = true;
    std::string DISCOVERY_PREFIX = "homeassistant";

    bool operator==(const MqttSettings&) const = default;
};

inline const SettingsSection& MqttSettingsSection() {
    using S = MqttSettings;
    static const SettingsSectionOf<S> section("MQTT", {{"HOST", &S::HOST},
                                                       {"PORT", &S::PORT, 1, 65535},
                                                       {"TLS_CA", &S::TLS_CA},
                                                       {"USER", &S::USER},
                                                       {"PASSWORD_FILE", &S::PASSWORD_FILE},
                                                       {"TOPIC", &S::TOPIC},
                                                       {"DISCOVERY", &S::DISCOVERY},
                                                       {"DISCOVERY_PREFIX", &S::DISCOVERY_PREFIX}});
    return section;
}

#pragma once

#include <cstdint>
#include <string>

#include "settings/settings_section.h"

// [EVENTS]: command lines, split as a POSIX shell would, run without one.
struct EventCommandsSettings {
    std::string ON_PICTURE;
    std::string ON_STORE_FAILED;
    std::string ON_CAMERA_LOST;
    std::string ON_CAMERA_FOUND;
    std::int32_t COMMAND_TIMEOUT_SECOND = 60;
    // At most one run of an event's command this often (0: no limit).
    std::int32_t COOLDOWN_SECOND = 0;

    bool operator==(const EventCommandsSettings&) const = default;
};

inline const SettingsSection& EventCommandsSettingsSection() {
    static const SettingsSectionOf<EventCommandsSettings> section(
        "EVENTS",
        {{"ON_PICTURE", &EventCommandsSettings::ON_PICTURE},
         {"ON_STORE_FAILED", &EventCommandsSettings::ON_STORE_FAILED},
         {"ON_CAMERA_LOST", &EventCommandsSettings::ON_CAMERA_LOST},
         {"ON_CAMERA_FOUND", &EventCommandsSettings::ON_CAMERA_FOUND},
         {"COMMAND_TIMEOUT_SECOND", &EventCommandsSettings::COMMAND_TIMEOUT_SECOND, 1, 86400},
         {"COOLDOWN_SECOND", &EventCommandsSettings::COOLDOWN_SECOND, 0, 86400}});
    return section;
}

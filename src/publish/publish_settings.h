#pragma once

#include <cstdint>
#include <string>

#include "settings/settings_section.h"

// [PUBLISH]: an empty REMOTE switches publishing off.
struct PublishSettings {
    std::string REMOTE;
    std::string RCLONE_CONFIG;
    std::int32_t PAGE_INTERVAL_SECOND = 300;
    std::string BWLIMIT;

    bool operator==(const PublishSettings&) const = default;
};

inline const SettingsSection& PublishSettingsSection() {
    static const SettingsSectionOf<PublishSettings> section(
        "PUBLISH", {{"REMOTE", &PublishSettings::REMOTE},
                    {"RCLONE_CONFIG", &PublishSettings::RCLONE_CONFIG},
                    {"PAGE_INTERVAL_SECOND", &PublishSettings::PAGE_INTERVAL_SECOND, 0, 86400},
                    {"BWLIMIT", &PublishSettings::BWLIMIT}});
    return section;
}

#pragma once

#include <cstdint>

#include "settings/settings_section.h"

// [TIMELAPSE]
struct TimelapseSettings {
    bool MAKE = false;
    std::int32_t FPS = 25;

    bool operator==(const TimelapseSettings&) const = default;
};

inline const SettingsSection& TimelapseSettingsSection() {
    static const SettingsSectionOf<TimelapseSettings> section(
        "TIMELAPSE", {{"MAKE", &TimelapseSettings::MAKE}, {"FPS", &TimelapseSettings::FPS, 1, 60}});
    return section;
}

#pragma once

#include <cstdint>

#include "settings/settings_section.h"

// [MOTION]: what counts as motion beyond MOTION_DETECT_LEVEL. The defaults
// score motion as the diary always has.
struct MotionSettings {
    // A jump of the frame's mean brightness by more than this share of the
    // last one is a light change, not motion; 0 = off.
    std::int32_t LIGHTSWITCH_PERCENT = 0;
    // Measurements above the level in a row before a motion picture.
    std::int32_t MIN_FRAMES = 1;

    bool operator==(const MotionSettings&) const = default;
};

inline const SettingsSection& MotionSettingsSection() {
    using S = MotionSettings;
    static const SettingsSectionOf<S> section(
        "MOTION", {{"LIGHTSWITCH_PERCENT", &S::LIGHTSWITCH_PERCENT, 0, 100},
                   {"MIN_FRAMES", &S::MIN_FRAMES, 1, 100}});
    return section;
}

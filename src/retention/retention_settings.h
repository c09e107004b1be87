#pragma once

#include <cstdint>
#include <limits>

#include "settings/settings_section.h"

// [RETENTION]: 0 switches each rule off.
struct RetentionSettings {
    std::int32_t KEEP_DAYS = 0;
    std::int32_t KEEP_MAX_MB = 0;
    std::int32_t KEEP_FREE_MB = 0;

    bool operator==(const RetentionSettings&) const = default;
};

inline const SettingsSection& RetentionSettingsSection() {
    constexpr std::int32_t kMaxInt = std::numeric_limits<std::int32_t>::max();
    static const SettingsSectionOf<RetentionSettings> section(
        "RETENTION", {{"KEEP_DAYS", &RetentionSettings::KEEP_DAYS, 0, 36500},
                      {"KEEP_MAX_MB", &RetentionSettings::KEEP_MAX_MB, 0, kMaxInt},
                      {"KEEP_FREE_MB", &RetentionSettings::KEEP_FREE_MB, 0, kMaxInt}});
    return section;
}

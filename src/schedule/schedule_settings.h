#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "settings/settings_section.h"

// [SCHEDULE]: when the diary records. Texts are kept as the user wrote them
// and read by RecordingHours::From, which says what it cannot use.
struct ScheduleSettings {
    // Ranges for every day: "07:00-12:00,13:00-19:00", "sunrise-00:30-sunset".
    std::string HOURS;
    // A weekday key that is present replaces HOURS for that day; present and
    // empty: no range begins that day.
    std::optional<std::string> MON;
    std::optional<std::string> TUE;
    std::optional<std::string> WED;
    std::optional<std::string> THU;
    std::optional<std::string> FRI;
    std::optional<std::string> SAT;
    std::optional<std::string> SUN;
    std::string MODE = "during";  // or "outside"
    std::string LATITUDE;         // decimal degrees, north positive
    std::string LONGITUDE;        // decimal degrees, east positive
    bool INTERVAL = true;         // interval pictures follow the hours
    bool MOTION = true;           // motion pictures follow the hours
    bool RELEASE_CAMERA = false;
    std::string AT;  // set times: "12:00,sunset"
    bool ALIGN_INTERVAL = false;
    std::int32_t SKIP_DARK_BELOW = 0;  // mean luma; 0 = off
    bool SKIP_DARK_MOTION = false;

    bool operator==(const ScheduleSettings&) const = default;
};

inline const SettingsSection& ScheduleSettingsSection() {
    using S = ScheduleSettings;
    static const SettingsSectionOf<S> section("SCHEDULE",
                                              {{"HOURS", &S::HOURS},
                                               {"MON", &S::MON},
                                               {"TUE", &S::TUE},
                                               {"WED", &S::WED},
                                               {"THU", &S::THU},
                                               {"FRI", &S::FRI},
                                               {"SAT", &S::SAT},
                                               {"SUN", &S::SUN},
                                               {"MODE", &S::MODE},
                                               {"LATITUDE", &S::LATITUDE},
                                               {"LONGITUDE", &S::LONGITUDE},
                                               {"INTERVAL", &S::INTERVAL},
                                               {"MOTION", &S::MOTION},
                                               {"RELEASE_CAMERA", &S::RELEASE_CAMERA},
                                               {"AT", &S::AT},
                                               {"ALIGN_INTERVAL", &S::ALIGN_INTERVAL},
                                               {"SKIP_DARK_BELOW", &S::SKIP_DARK_BELOW, 0, 255},
                                               {"SKIP_DARK_MOTION", &S::SKIP_DARK_MOTION}});
    return section;
}

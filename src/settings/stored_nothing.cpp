#include "settings/stored_nothing.h"

#include <cstdint>

#include "settings/diary_settings.h"

std::string WhyNothingIsStored(const DiarySettings& s) {
    std::string reasons;
    const auto add = [&](const char* reason) {
        if (!reasons.empty()) reasons += "; ";
        reasons += reason;
    };
    if (s.SAVE_DIRECTORY.empty()) add("SAVE_DIRECTORY is empty");
    if (!s.ONAIR) add("ONAIR is off");
    // The same unsigned 32-bit arithmetic as the worker's interval.
    const std::uint32_t interval_ms = (static_cast<std::uint32_t>(s.INTERVAL_HOUR) * 3600u +
                                       static_cast<std::uint32_t>(s.INTERVAL_MINUTE) * 60u +
                                       static_cast<std::uint32_t>(s.INTERVAL_SECOND)) *
                                      1000u;
    if (interval_ms == 0 && !s.MOTION_DETECT)
        add("INTERVAL_HOUR, INTERVAL_MINUTE and INTERVAL_SECOND are 0 and MOTION_DETECT is off");
    if (reasons.empty()) return {};
    return "quillomat: no picture will be stored: " + reasons + " (setup.ini, section DIARY).";
}

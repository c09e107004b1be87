#pragma once

#include <cstdint>
#include <string>

#include "settings/diary_settings.h"

class SharedSettings;

// The TIMETEXT group of the settings record, taken out or put back whole.
struct TimeTextGroup {
    bool SHOW_TEXT = true;
    std::int32_t TEXT_XPOS = 5;
    std::int32_t TEXT_YPOS = 5;
    std::string TIME_FORMAT;
    std::string FONT_NAME;
    std::int32_t FONT_SIZE = 14;
    bool FONT_BOLD = false;
    bool FONT_ITALIC = false;
    bool SHOW_SHADOW = true;
    std::int32_t SHADOW_XPOS = 1;
    std::int32_t SHADOW_YPOS = 1;
    std::uint32_t TEXT_COLOR = 0xFFFFFF;
    std::uint32_t SHADOW_COLOR = 0;

    bool operator==(const TimeTextGroup&) const = default;
};

TimeTextGroup TimeTextGroupOf(const DiarySettings& settings);
void PutTimeTextGroup(DiarySettings& settings, const TimeTextGroup& group);

// How the time text settings dialog, on the user interface thread, hands its
// values to the running worker: the whole group is replaced under the
// record's lock, so a store's copy holds either the group before or the group
// after, never half of a replaced format or face name.
void HandOverTimeText(SharedSettings& settings, const TimeTextGroup& group);

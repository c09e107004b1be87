#include "settings/time_text_group.h"

#include "settings/shared_settings.h"

TimeTextGroup TimeTextGroupOf(const DiarySettings& s) {
    TimeTextGroup g;
    g.SHOW_TEXT = s.SHOW_TEXT;
    g.TEXT_XPOS = s.TEXT_XPOS;
    g.TEXT_YPOS = s.TEXT_YPOS;
    g.TIME_FORMAT = s.TIME_FORMAT;
    g.FONT_NAME = s.FONT_NAME;
    g.FONT_SIZE = s.FONT_SIZE;
    g.FONT_BOLD = s.FONT_BOLD;
    g.FONT_ITALIC = s.FONT_ITALIC;
    g.SHOW_SHADOW = s.SHOW_SHADOW;
    g.SHADOW_XPOS = s.SHADOW_XPOS;
    g.SHADOW_YPOS = s.SHADOW_YPOS;
    g.TEXT_COLOR = s.TEXT_COLOR;
    g.SHADOW_COLOR = s.SHADOW_COLOR;
    return g;
}

void PutTimeTextGroup(DiarySettings& s, const TimeTextGroup& g) {
    s.SHOW_TEXT = g.SHOW_TEXT;
    s.TEXT_XPOS = g.TEXT_XPOS;
    s.TEXT_YPOS = g.TEXT_YPOS;
    s.TIME_FORMAT = g.TIME_FORMAT;
    s.FONT_NAME = g.FONT_NAME;
    s.FONT_SIZE = g.FONT_SIZE;
    s.FONT_BOLD = g.FONT_BOLD;
    s.FONT_ITALIC = g.FONT_ITALIC;
    s.SHOW_SHADOW = g.SHOW_SHADOW;
    s.SHADOW_XPOS = g.SHADOW_XPOS;
    s.SHADOW_YPOS = g.SHADOW_YPOS;
    s.TEXT_COLOR = g.TEXT_COLOR;
    s.SHADOW_COLOR = g.SHADOW_COLOR;
}

void HandOverTimeText(SharedSettings& settings, const TimeTextGroup& group) {
    // The strings are copied before the lock is taken: a store waiting for
    // its copy waits only for the swaps.
    TimeTextGroup copy = group;
    settings.Update([&](DiarySettings& s) {
        s.SHOW_TEXT = copy.SHOW_TEXT;
        s.TEXT_XPOS = copy.TEXT_XPOS;
        s.TEXT_YPOS = copy.TEXT_YPOS;
        s.TIME_FORMAT.swap(copy.TIME_FORMAT);
        s.FONT_NAME.swap(copy.FONT_NAME);
        s.FONT_SIZE = copy.FONT_SIZE;
        s.FONT_BOLD = copy.FONT_BOLD;
        s.FONT_ITALIC = copy.FONT_ITALIC;
        s.SHOW_SHADOW = copy.SHOW_SHADOW;
        s.SHADOW_XPOS = copy.SHADOW_XPOS;
        s.SHADOW_YPOS = copy.SHADOW_YPOS;
        s.TEXT_COLOR = copy.TEXT_COLOR;
        s.SHADOW_COLOR = copy.SHADOW_COLOR;
    });
}

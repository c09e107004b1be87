#include "events/diary_event.h"

#include <cstdio>

const char* TriggerName(PictureTrigger trigger) {
    switch (trigger) {
        case PictureTrigger::kMotion:
            return "motion";
        case PictureTrigger::kTime:
            return "time";
        case PictureTrigger::kRequest:
            return "request";
        case PictureTrigger::kInterval:
            break;
    }
    return "interval";
}

std::string PauseEndText(const std::tm& until, const std::tm& now) {
    char text[32];
    if (until.tm_year == now.tm_year && until.tm_yday == now.tm_yday) {
        std::snprintf(text, sizeof text, "%02d:%02d", until.tm_hour, until.tm_min);
    } else {
        std::snprintf(text, sizeof text, "%d/%d %02d:%02d", until.tm_mon + 1, until.tm_mday,
                      until.tm_hour, until.tm_min);
    }
    return text;
}

std::string CameraEventLine(const CameraGone& gone) {
    if (gone.replacement.empty()) {
        return "camera \"" + gone.camera +
               "\" is gone (unplugged?); pictures resume when it is back";
    }
    return "camera \"" + gone.camera + "\" is gone (unplugged?); using \"" + gone.replacement +
           "\" instead";
}

std::string CameraEventLine(const CameraBack& back) {
    return "camera \"" + back.camera + "\" is back";
}

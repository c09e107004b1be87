#include "events/diary_event.h"

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

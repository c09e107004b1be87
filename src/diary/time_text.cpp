#include "diary/time_text.h"

#include "diary/drawing_surface.h"
#include "settings/diary_settings.h"

std::string ExpandTimeFormat(const std::string& format, const std::tm&) { return format; }

void DrawTimeText(DrawingSurface&, const std::tm&, const DiarySettings&) {}

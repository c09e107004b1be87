#pragma once

#include <ctime>
#include <string>

struct DiarySettings;
class DrawingSurface;

// TIME_FORMAT with its tokens replaced by the capture time.
std::string ExpandTimeFormat(const std::string& format, const std::tm& capture_time);

// Draws the shadow (when on) and then the time text into the surface, upright
// in the picture although the rows are stored bottom-up.
void DrawTimeText(DrawingSurface& surface, const std::tm& capture_time, const DiarySettings& settings);

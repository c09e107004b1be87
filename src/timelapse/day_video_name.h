#pragma once

#include <string>
#include <string_view>

// The video's names, DayVideoName and DayVideoTemporaryName, are made with
// the diary's other names, so that whoever cleans a day (retention, the
// start-up) recognises them as the program's own.
#include "diary/picture_names.h"

// True for a folder name of a real date ("20240229", not "20240230").
bool IsDayFolderName(std::string_view name);

// True for the program's picture names of that day: "YYYYMMDDhhmmss.jpg" and,
// for a picture taken in a second that had one already (the clock stepped
// back), "YYYYMMDDhhmmss_NNN.jpg".
bool IsDayPictureName(std::string_view day_name, std::string_view name);

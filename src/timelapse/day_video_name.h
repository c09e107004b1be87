#pragma once

#include <string>
#include <string_view>

// The names the timelapse gives its files in a day folder, so that whoever
// cleans a day (retention, the start-up) recognises them as the program's own:
// the video "YYYYMMDD.webm" and, while it is being made, "YYYYMMDD.webm.tmp".
std::string DayVideoName(std::string_view day_name);
std::string DayVideoTemporaryName(std::string_view day_name);

// True for a folder name of a real date ("20240229", not "20240230").
bool IsDayFolderName(std::string_view name);

// True for the program's picture names of that day: "YYYYMMDDhhmmss.jpg" and,
// for a picture taken in a second that had one already (the clock stepped
// back), "YYYYMMDDhhmmss_NNN.jpg".
bool IsDayPictureName(std::string_view day_name, std::string_view name);

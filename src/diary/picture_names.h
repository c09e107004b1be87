#pragma once

#include <ctime>
#include <string>
#include <string_view>

// Every name the diary writes under its save folder, in one place, so that
// whoever looks into the folder (the page writers, the clean-up at start, a
// retention job) can tell the diary's own files from anything else:
//
//   YYYYMMDD/                          a day folder (a real date)
//   YYYYMMDD/YYYYMMDDhhmmss.jpg        a picture of that day
//   YYYYMMDD/YYYYMMDDhhmmss_NNN.jpg    the NNNth picture taken with a name
//                                      already in use (001 to 999), so a
//                                      store never replaces a picture
//   YYYYMMDD/YYYYMMDD.webm             the day's video (the timelapse), and
//   YYYYMMDD/YYYYMMDD.webm.tmp         that video while it is being made
//   <name>.XXXXXX.tmp, <name>.tmp      a write of <name> cut off before its
//                                      rename (platform/atomic_file.h)
//
// Byte order of the names is time order; the plain name of a second comes
// before its numbered repeats.

inline constexpr int kMaxPictureRepeat = 999;

// "YYYYMMDD.webm" and "YYYYMMDD.webm.tmp" of a day "YYYYMMDD".
std::string DayVideoName(std::string_view day_name);
std::string DayVideoTemporaryName(std::string_view day_name);

// "YYYYMMDD" of a capture time.
std::string DayDirectoryName(const std::tm& time);
// "YYYYMMDDhhmmss.jpg" for `repeat` 0, "YYYYMMDDhhmmss_NNN.jpg" for 1 to
// 999; empty beyond.
std::string PictureFileName(const std::tm& time, int repeat = 0);

// Eight digits that form a real date.
bool IsDayDirectoryName(std::string_view name);
// A picture name (plain or numbered) whose date is `day`; any day when `day`
// is empty.
bool IsPictureFileName(std::string_view name, std::string_view day = {});
// A cut-off write of a picture of `day` (any day when empty).
bool IsPictureTemporaryName(std::string_view name, std::string_view day = {});
// A cut-off write of the page named `page_name`.
bool IsPageTemporaryName(std::string_view name, std::string_view page_name);

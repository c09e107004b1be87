#pragma once

#include <ctime>
#include <string>
#include <string_view>

// Every name the diary writes under its save folder, in one place, so that
// whoever looks into the folder (the store and its pages, the clean-up at
// start, retention, publishing, the timelapse) tells the diary's own files
// from anything else the same way:
//
//   YYYYMMDD/                          a day folder (a real date)
//   YYYYMMDD/YYYYMMDDhhmmss.jpg        a picture of that day
//   YYYYMMDD/YYYYMMDDhhmmss_NNN.jpg    the NNNth picture taken with a name
//                                      already in use (001 to 999), so a
//                                      store never replaces a picture
//   YYYYMMDD/YYYYMMDD.webm             the day's video (the timelapse), and
//   YYYYMMDD/YYYYMMDD.webm.tmp         that video while it is being made
//   YYYYMMDD/<PREVIEW_HTML>            the day page, <INDEX_HTML> the index
//                                      page (diary_layout.h names them)
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

// The program's own files in the day folder `day`: its pictures of that date
// (plain and numbered), the day page `day_page` (empty: none), the day's
// video, and the temporary files of each of them.
bool IsOwnDayFile(std::string_view day, std::string_view name, std::string_view day_page);

// What the pages show as a picture: any name ending in ".jpg", compared
// without regard to case as the Windows file search did, also one the
// program did not write (the pages list what the user put there too).
bool IsPagePictureName(std::string_view name);

// Days of a month of the Gregorian calendar; 0 for a month outside 1 to 12.
int DaysInMonth(int year, int month);

#pragma once

#include <set>
#include <string>

#include "web/page_cache.h"

class NoticeSink;

// The largest counts the web page settings dialog accepts. A hand-edited
// setup.ini may hold more; the index page uses these instead, so that its
// size follows the diary and not the number typed.
inline constexpr int kMaxIndexPictures = 100;    // INDEX_IMAGE_MAX
inline constexpr int kMaxCalendarMonths = 100;   // INDEX_CALENDAR_MAX
inline constexpr int kMaxCalendarColumns = 100;  // INDEX_CALENDAR_ROW
struct DiarySettings;
struct StoredPicture;

// Regenerates the index page in the save folder: title, the user's top and
// bottom code, the newest pictures and the month calendar. Returns the page's
// path when it was written, else an empty text.
std::string WriteIndexPage(PageCache& cache, const StoredPicture& picture,
                           const DiarySettings& settings, NoticeSink& notices);

// Fills `cache.calendarHtml` from `cache.saveSubdirectories` (sorting it).
void BuildCalendarHtml(PageCache& cache, const std::string& save_directory,
                       const DiarySettings& settings);

struct MonthTableContext {
    std::string save_directory;  // ends in "/"
    std::string preview_html;    // day page name; a day links to it when it exists
    int font_size = 15;
};

// One month of the calendar; days in `day_keys` ("YYYYMMDD") link to their
// day. Empty for a month outside 1 to 12.
std::string BuildMonthTable(int year, int month, const std::set<std::string>& day_keys,
                            const MonthTableContext& context);

// 0 = Sunday .. 6 = Saturday, Gregorian calendar.
int DayOfWeek(int year, int month, int day);

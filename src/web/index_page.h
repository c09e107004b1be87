#pragma once

#include <set>
#include <string>

#include "web/page_cache.h"

class NoticeSink;
struct DiarySettings;
struct StoredPicture;

// Regenerates the index page in the save folder: title, the user's top and
// bottom code, the newest pictures and the month calendar.
void WriteIndexPage(PageCache& cache, const StoredPicture& picture, const DiarySettings& settings,
                    NoticeSink& notices);

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

int DaysInMonth(int year, int month);

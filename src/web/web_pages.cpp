#include "web/web_pages.h"

#include "web/day_page.h"
#include "web/index_page.h"

void WebPages::WritePages(const StoredPicture& picture, const DiarySettings& settings) {
    // The day page first: on a new day the calendar then links to it at once.
    WriteDayPage(cache_, picture, settings, notices_);
    WriteIndexPage(cache_, picture, settings, notices_);
}

#include "web/web_pages.h"

#include "web/day_page.h"
#include "web/index_page.h"

std::vector<std::string> WebPages::WritePages(const StoredPicture& picture,
                                              const DiarySettings& settings) {
    std::vector<std::string> written;
    // The day page first: on a new day the calendar then links to it at once.
    if (std::string day = WriteDayPage(cache_, picture, settings, notices_); !day.empty())
        written.push_back(std::move(day));
    if (std::string index = WriteIndexPage(cache_, picture, settings, notices_); !index.empty())
        written.push_back(std::move(index));
    return written;
}

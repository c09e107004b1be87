#pragma once

#include <string>

#include "web/page_cache.h"

class NoticeSink;
struct DiarySettings;
struct StoredPicture;

// Regenerates the day page of the stored picture's day from the template and
// `cache.dayThumbnails`; scans the day folder only when the list is empty
// (or holds another day's pictures) and the folder existed before this store.
// A `video_name` that is not empty is linked under the date. Returns the
// page's path when it was written, else an empty text.
std::string WriteDayPage(PageCache& cache, const StoredPicture& picture,
                         const DiarySettings& settings, NoticeSink& notices,
                         const std::string& video_name = {});

// The page of a past day ("YYYYMMDD") from its folder alone, as a store's
// rescan lists a day: every picture the pages show (ListPagePictures) in
// name order, thumbnails sized after the newest picture that has a size, and
// `video_name` linked when it is not empty. Touches no cache. Returns the
// page's path when written.
std::string RewriteDayPage(const std::string& save_directory, const std::string& day_name,
                           const DiarySettings& settings, NoticeSink& notices,
                           const std::string& video_name);

// True when the page at `page_path` links `video_name` under its date.
bool DayPageLinksVideo(const std::string& page_path, const std::string& video_name);

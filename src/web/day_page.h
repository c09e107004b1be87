#pragma once

#include <string>

#include "web/page_cache.h"

class NoticeSink;
struct DiarySettings;
struct StoredPicture;

// Regenerates the day page of the stored picture's day from the template and
// `cache.dayThumbnails`; scans the day folder only when the list is empty
// (or holds another day's pictures) and the folder existed before this store.
// Returns the page's path when it was written, else an empty text.
std::string WriteDayPage(PageCache& cache, const StoredPicture& picture,
                         const DiarySettings& settings, NoticeSink& notices);

#pragma once

#include "diary/page_writers.h"
#include "log/diary_notice.h"
#include "web/page_cache.h"

class NoticeSink;

// The page writers the store hands its pictures to: the day page, then the
// index page, sharing one cache. Worker thread only.
class WebPages final : public PageWriters {
public:
    explicit WebPages(NoticeSink& notices) : notices_(notices) {}

    void ResetCache() override { cache_.Reset(); }
    void ForgetDayThumbnails() override {
        cache_.dayThumbnails.clear();
        cache_.dayName.clear();
    }
    std::vector<std::string> WritePages(const StoredPicture& picture,
                                        const DiarySettings& settings) override;

    const PageCache& cache() const { return cache_; }

private:
    NoticeSink& notices_;
    PageCache cache_;
};

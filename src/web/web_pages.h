#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "diary/page_writers.h"
#include "log/diary_notice.h"
#include "web/page_cache.h"

class NoticeSink;

// The page writers the store hands its pictures to: the day page, then the
// index page, sharing one cache that only the worker thread touches. A job
// may rewrite a past day's page from another thread: page files are written
// one at a time.
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

    // The video a day page links ("YYYYMMDD" to a file name in its folder,
    // empty for none, as the timelapse's settings say): linked when the file
    // is there. Set before the worker runs; unset, the pages are the
    // designed ones.
    using VideoName =
        std::function<std::string(const std::string& day_name, const DiarySettings& settings)>;
    void LinkDayVideos(VideoName video_name);

    // Any thread: the page of a past day, rewritten from its folder (never
    // from the cache; see RewriteDayPage). Returns its path when written.
    std::string RewritePastDayPage(const std::string& save_directory, const std::string& day_name,
                                   const DiarySettings& settings);

    const PageCache& cache() const { return cache_; }

private:
    // The video's name when the day page is to link it, else empty.
    std::string LinkedVideo(const std::string& save_directory, const std::string& day_name,
                            const DiarySettings& settings) const;

    NoticeSink& notices_;
    PageCache cache_;
    VideoName video_name_;
    // Held while a page file is built and written: two writers of one page
    // would share its temporary file.
    std::mutex write_mutex_;
};

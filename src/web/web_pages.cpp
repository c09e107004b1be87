#include "web/web_pages.h"

#include "diary/layout/day_folders.h"
#include "settings/diary_settings.h"
#include "web/day_page.h"
#include "web/index_page.h"

std::vector<std::string> WebPages::WritePages(const StoredPicture& picture,
                                              const DiarySettings& settings) {
    std::lock_guard lock(write_mutex_);
    std::vector<std::string> written;
    // The day page first: on a new day the calendar then links to it at once.
    if (std::string day =
            WriteDayPage(cache_, picture, settings, notices_,
                         LinkedVideo(picture.save_directory, picture.day_name, settings));
        !day.empty()) {
        written.push_back(std::move(day));
    }
    if (std::string index = WriteIndexPage(cache_, picture, settings, notices_); !index.empty())
        written.push_back(std::move(index));
    return written;
}

void WebPages::LinkDayVideos(VideoName video_name) {
    std::lock_guard lock(write_mutex_);
    video_name_ = std::move(video_name);
}

std::string WebPages::RewritePastDayPage(const std::string& save_directory,
                                         const std::string& day_name,
                                         const DiarySettings& settings) {
    std::lock_guard lock(write_mutex_);
    return RewriteDayPage(save_directory, day_name, settings, notices_,
                          LinkedVideo(save_directory, day_name, settings));
}

std::string WebPages::LinkedVideo(const std::string& save_directory, const std::string& day_name,
                                  const DiarySettings& settings) const {
    if (!video_name_) return {};
    std::string name = video_name_(day_name, settings);
    if (name.empty()) return {};
    const std::optional<struct stat> st =
        OpenFolder::OpenInside(OpenFolder::Open(save_directory), day_name).Status(name);
    return st && S_ISREG(st->st_mode) ? name : std::string();
}

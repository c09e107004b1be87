#pragma once

#include <ctime>
#include <string>
#include <vector>

struct DiarySettings;

// What a successful store hands to the page writers. Directories end in "/".
struct StoredPicture {
    std::tm capture_time{};
    std::string save_directory;  // "/srv/diary/"
    std::string day_name;        // "20240315"
    std::string day_directory;   // "/srv/diary/20240315/"
    std::string file_name;       // "20240315093005.jpg"
    int width = 0;
    int height = 0;
    bool calendar_rebuild = false;
    bool day_directory_existed = true;
};

// The day page and index page writers, seen from the store. They run on the
// worker thread only and report their own failures as notices.
class PageWriters {
public:
    virtual ~PageWriters() = default;
    // The pages changed flag was found set: empty every cache.
    virtual void ResetCache() = 0;
    // A new day begins: its thumbnail list starts empty.
    virtual void ForgetDayThumbnails() = 0;
    // The day page, then the index page; returns the paths of the pages
    // written, in that order.
    virtual std::vector<std::string> WritePages(const StoredPicture& picture,
                                                const DiarySettings& settings) = 0;
};

class NoPageWriters final : public PageWriters {
public:
    void ResetCache() override {}
    void ForgetDayThumbnails() override {}
    std::vector<std::string> WritePages(const StoredPicture&, const DiarySettings&) override {
        return {};
    }
};

#pragma once

#include <string>
#include <vector>

// What the page writers keep between stores so that a store rewrites its
// pages from memory. Touched by the diary worker thread only.
struct PageCache {
    struct Thumbnail {
        std::string name;  // the picture's file name
        std::string line;  // its line on the page
    };
    // The day whose page dayThumbnails belongs to ("YYYYMMDD"): after a clock
    // step into another day the list of that day starts again from its folder.
    std::string dayName;
    std::vector<Thumbnail> dayThumbnails;  // the current day page's lines, in display order
    std::string calendarHtml;              // the finished calendar of the index page
    std::vector<std::string> saveSubdirectories;
    std::vector<std::string> recentPictures;  // "./day/file", newest first

    void Reset() { *this = PageCache{}; }
};

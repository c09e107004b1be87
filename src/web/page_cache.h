#pragma once

#include <string>
#include <vector>

// What the page writers keep between stores so that a store rewrites its
// pages from memory. Touched by the diary worker thread only.
struct PageCache {
    std::string dayThumbnails;  // thumbnail lines of the current day page, in display order
    std::string calendarHtml;   // the finished calendar of the index page
    std::vector<std::string> saveSubdirectories;
    std::vector<std::string> recentPictures;  // "./day/file", newest first

    void Reset() { *this = PageCache{}; }
};

#pragma once

#include <string>
#include <string_view>

struct DiarySettings;

// Where the diary lies, as every job reads it from the settings: the save
// folder resolved as the store resolves it (a relative SAVE_DIRECTORY lies in
// the settings folder, not in the folder the process was started from), and
// the page names the store writes under.
struct DiaryLayout {
    std::string save_folder;  // ends in "/"; empty: storing is off
    std::string day_page;     // PageFileName(PREVIEW_HTML); empty: no day page
    std::string index_page;   // PageFileName(INDEX_HTML); empty: no index page

    static DiaryLayout Of(const DiarySettings& settings);

    // save_folder + day + "/".
    std::string DayFolder(std::string_view day) const;

    bool operator==(const DiaryLayout&) const = default;
};

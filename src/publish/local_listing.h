#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diary/layout/diary_layout.h"

// What publishing sends from the save folder, as it finds it there (through
// the diary's one lister, publish_names.h).

struct Stamp {
    std::int64_t size = -1;
    std::int64_t mtime_ns = 0;
    bool operator==(const Stamp&) const = default;
};

struct LocalFile {
    std::string name;
    Stamp stamp;
};

// The published regular files of `folder` ("" for the save folder itself),
// by name; links are never followed.
std::vector<LocalFile> LocalFolder(const DiaryLayout& layout, const std::string& folder);
// The size and time of a regular file (not a link); size -1 when none.
Stamp StampOf(const std::string& path);

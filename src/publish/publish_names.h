#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "diary/layout/diary_layout.h"

// Which files of the save folder are published, and the names publishing
// uses on the remote. Only the diary's own files go out:
//
//   <INDEX_HTML>                        the index page
//   style.css                           the style sheet the pages link (the
//                                       user's; the diary never writes it)
//   YYYYMMDD/YYYYMMDDhhmmss[_NNN].jpg   the pictures of that day
//   YYYYMMDD/YYYYMMDD.webm              the day's video
//   YYYYMMDD/<PREVIEW_HTML>             the day page
//   YYYYMMDD/style.css
//
// Temporary files, hidden files and anything else a user keeps there stay
// at home.

inline constexpr std::string_view kStyleSheetName = "style.css";

// A file published at `path` relative to the save folder ("name" in it, or
// "YYYYMMDD/name" in a day folder): one of the forms above, the diary's names
// as diary/layout/diary_names.h recognises them, the pages as `layout` names
// them.
bool IsPublishedPath(std::string_view path, const DiaryLayout& layout);

struct PublishedFile {
    std::string name;
    std::int64_t size = 0;
    std::int64_t mtime_ns = 0;
};
// The published files of the save folder (`day` empty) or of its day folder
// `day`: regular files only, listed the diary's one way (no link followed,
// nothing outside the save folder), in name order.
std::vector<PublishedFile> ListPublishedFiles(const DiaryLayout& layout, const std::string& day);
// The save folder's day folders, newest first.
std::vector<std::string> ListPublishedDays(const DiaryLayout& layout);

// Files a page links to that must be on the remote before it: pictures and
// videos. `page` is the page's path relative to the save folder
// ("YYYYMMDD/preview.html" or "preview.html"); the results are relative to
// the save folder too. Only the diary's own media names count.
std::vector<std::string> LinkedMedia(std::string_view html, std::string_view page);

// The name an upload goes to before its move into place: "<name>.<6 letters
// or digits>.partial", in the same folder.
std::string PartialName(std::string_view name, std::string_view random6);
// A partial upload of `name` (the form above).
bool IsPartialNameOf(std::string_view candidate, std::string_view name);
// The final name inside a partial upload's name, or empty.
std::string FinalNameOfPartial(std::string_view candidate);

#pragma once

#include <string>
#include <string_view>
#include <vector>

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

// Eight digits.
bool IsDayName(std::string_view name);
// A picture of `day`: its fourteen digits start with the day, and a repeat
// of the same second may carry "_NNN".
bool IsPictureName(std::string_view name, std::string_view day);
// "YYYYMMDD.webm" of `day`.
bool IsVideoName(std::string_view name, std::string_view day);
// A page name that stays in its folder: no "/", not "." or "..", no NUL.
bool IsPlainPageName(std::string_view name);

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

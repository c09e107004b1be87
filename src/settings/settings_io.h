#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "settings/diary_settings.h"

// Fills every field from GetAppDirectory() + "device.ini" and "setup.ini";
// absent or unreadable keys take their defaults. Never reports an error; the
// values of the added sections that could not be taken as they stand are
// described in `remarks`, one line each, when given.
void LoadSettings(DiarySettings& settings, std::vector<std::string>* remarks = nullptr);

// Writes every field back to both files. A failed write is not reported and
// leaves the previous file as it was.
void SaveSettings(const DiarySettings& settings);

// The same, on explicit files (tests, tools).
void LoadSettingsFrom(DiarySettings& settings, const std::filesystem::path& device_ini,
                      const std::filesystem::path& setup_ini, const std::string& app_directory,
                      std::vector<std::string>* remarks = nullptr);
void SaveSettingsTo(const DiarySettings& settings, const std::filesystem::path& device_ini,
                    const std::filesystem::path& setup_ini);

// The web page dialog's Reset buttons: the six day-page keys
// (PREVIEW_CREATE, PREVIEW_HTML, PREVIEW_IMAGE_SIZE, PREVIEW_AUTO_REFLESH,
// PREVIEW_AUTO_REFLESH_SECOND, PREVIEW_SORT), or the twelve index-page keys
// from INDEX_CREATE to INDEX_CALENDAR_FONT_SIZE, read back from section HTML
// of `setup_ini` with the loader's rules and defaults. Every other field is
// left alone (the index keys do not include the title or the added codes).
void LoadDayPageSettingsFrom(DiarySettings& settings, const std::filesystem::path& setup_ini);
void LoadIndexPageSettingsFrom(DiarySettings& settings, const std::filesystem::path& setup_ini);

// Multi-line texts (TOP_CODE, BOTTOM_CODE) are kept on their key's single line
// with "\\" for a backslash, "\n" for a line feed and "\r" for a carriage return;
// any other backslash reads as itself, so old unescaped values read unchanged.
std::string EscapeMultiline(const std::string& text);
std::string UnescapeMultiline(const std::string& text);

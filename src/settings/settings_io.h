#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "settings/diary_settings.h"

// Fills every field from GetAppDirectory() + "device.ini" and "setup.ini";
// absent or unreadable keys take their defaults. Never reports an error; the
// values of the added sections that could not be taken as they stand are
// described in `remarks`, one line each, when given.
// The files are CP932; one that is not, but is UTF-8 throughout (as a Linux
// editor saves it), is read as UTF-8, and one that is neither is read value
// by value, each as whichever of the two it is.
void LoadSettings(DiarySettings& settings, std::vector<std::string>* remarks = nullptr);

// Writes every field back to both files, in CP932 (a file read as UTF-8
// goes back in CP932 as a whole, wherever CP932 holds its text). A text
// that the user did not change and that CP932 cannot hold keeps its bytes.
// A failed write is not reported and leaves the previous file as it was.
void SaveSettings(const DiarySettings& settings);

// How a settings file's text is read (see LoadSettings).
enum class SettingsFileText { kCp932, kUtf8, kMixed };
SettingsFileText ClassifySettingsText(std::string_view content);
// kCp932 for a missing file.
SettingsFileText SettingsFileTextOf(const std::filesystem::path& path);

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

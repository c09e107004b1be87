#pragma once

#include <filesystem>
#include <string>

#include "settings/diary_settings.h"

// Fills every field from GetAppDirectory() + "device.ini" and "setup.ini";
// absent or unreadable keys take their defaults. Never reports an error.
void LoadSettings(DiarySettings& settings);

// Writes every field back to both files. A failed write is not reported and
// leaves the previous file as it was.
void SaveSettings(const DiarySettings& settings);

// The same, on explicit files (tests, tools).
void LoadSettingsFrom(DiarySettings& settings, const std::filesystem::path& device_ini,
                      const std::filesystem::path& setup_ini, const std::string& app_directory);
void SaveSettingsTo(const DiarySettings& settings, const std::filesystem::path& device_ini,
                    const std::filesystem::path& setup_ini);

// Multi-line texts (TOP_CODE, BOTTOM_CODE) are kept on their key's single line
// with "\\" for a backslash, "\n" for a line feed and "\r" for a carriage return;
// any other backslash reads as itself, so old unescaped values read unchanged.
std::string EscapeMultiline(const std::string& text);
std::string UnescapeMultiline(const std::string& text);

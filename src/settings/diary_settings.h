#pragma once

#include <cstdint>
#include <string>

#include "settings/job_sections.h"

// Every persistent setting: one field per INI key of the designed sections
// and of CAPTURE, and the jobs' sections, each a struct of its job's folder
// (settings_section.h). Text is UTF-8 here; the files hold CP932. Nothing is clamped: a hand-edited
// value outside the range a dialog accepts is used as it stands.
struct DiarySettings {
    // DEVICE ("device.ini")
    std::string SELECT;
    std::int32_t WIDTH = 320;
    std::int32_t HEIGHT = 240;
    std::int64_t FRAMERATE = 333333;  // 100 ns units per frame

    // APPLICATION
    bool LOGFILE = false;
    bool CLOSECANCEL = false;
    std::int32_t JPEG_QUALITY = 80;
    std::int32_t STARTUP_TIMER = 0;
    bool STARTUP_DIALOG = false;

    // DIARY
    bool ONAIR = true;
    std::string SAVE_DIRECTORY;  // default: the application directory
    std::int32_t INTERVAL_HOUR = 0;
    std::int32_t INTERVAL_MINUTE = 10;
    std::int32_t INTERVAL_SECOND = 0;
    bool MOTION_DETECT = false;
    std::int32_t MOTION_DETECT_LEVEL = 50;
    std::int32_t MOTION_DETECT_UPDATE = 500;
    std::int32_t MOTION_DETECT_INTERVAL = 60;

    // HTML
    bool PREVIEW_CREATE = true;
    std::string PREVIEW_HTML = "preview.html";
    std::int32_t PREVIEW_IMAGE_SIZE = 50;
    bool PREVIEW_AUTO_REFLESH = true;
    std::int32_t PREVIEW_AUTO_REFLESH_SECOND = 60;
    bool PREVIEW_SORT = true;
    bool INDEX_CREATE = true;
    std::string INDEX_HTML = "preview.html";
    bool INDEX_PREVIEW = true;
    std::int32_t INDEX_IMAGE_SIZE = 50;
    std::int32_t INDEX_IMAGE_MAX = 5;
    bool INDEX_AUTO_REFLESH = true;
    std::int32_t INDEX_AUTO_REFLESH_SECOND = 60;
    bool INDEX_CALENDAR = true;
    bool INDEX_CALENDAR_SORT = true;
    std::int32_t INDEX_CALENDAR_MAX = 15;
    std::int32_t INDEX_CALENDAR_ROW = 5;
    std::int32_t INDEX_CALENDAR_FONT_SIZE = 15;
    std::string INDEX_HTML_TITLE = "保存履歴";
    std::string TOP_CODE;
    std::string BOTTOM_CODE = DefaultBottomCode();

    // TIMETEXT
    bool SHOW_TEXT = true;
    std::int32_t TEXT_XPOS = 5;
    std::int32_t TEXT_YPOS = 5;
    std::string TIME_FORMAT = "%Y/%M/%D(%w) %h:%m:%s";
    std::string FONT_NAME = "ＭＳ ゴシック";
    std::int32_t FONT_SIZE = 14;
    bool FONT_BOLD = false;
    bool FONT_ITALIC = false;
    bool SHOW_SHADOW = true;
    std::int32_t SHADOW_XPOS = 1;
    std::int32_t SHADOW_YPOS = 1;
    std::uint32_t TEXT_COLOR = 0xFFFFFF;  // 0x00BBGGRR
    std::uint32_t SHADOW_COLOR = 0;

    // CAPTURE, the first section beyond the original four (see
    // settings_section.h for the rules they share): the longest wait for a
    // settled picture after a start; 0 waits not at all.
    std::int32_t SETTLE_MAX_MS = 3000;

    // The jobs' own sections ([RETENTION], [PUBLISH], ...), each a struct of
    // the job's folder: Section<RetentionSettings>().
    JobSections sections;
    template <class T>
    const T& Section() const {
        return sections.Get<T>();
    }
    template <class T>
    T& Section() {
        return sections.Get<T>();
    }

    // Not a key: the folder the settings were read from, ending in "/"
    // (empty when they were not read from files).
    std::string settings_folder;

    static std::string DefaultBottomCode();

    bool operator==(const DiarySettings&) const = default;
};

// SAVE_DIRECTORY as a path: a relative value lies in the settings folder, not
// in whatever folder the process happened to be started from. Empty stays
// empty (storing off).
std::string SaveFolderPath(const DiarySettings& settings);

// The name a page is written under: PREVIEW_HTML or INDEX_HTML as set,
// unless it would reach out of the page's folder (it holds a "/", or it is
// "." or ".."); then the default "preview.html". Empty stays empty: that
// switches the page off.
std::string PageFileName(const std::string& configured);
bool PageNameStaysInItsFolder(const std::string& configured);

// The maker's home page, the target of the default bottom code.
inline constexpr const char* kHomePageUrl = "https://quillomat.example.org/";

#include "settings/stored_nothing.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "settings/diary_settings.h"
#include "settings/settings_io.h"

namespace {

constexpr const char* kDiarySection = " (setup.ini, section DIARY).";

// The negative interval parts, named; empty when there are none.
std::string NegativeIntervalParts(const DiarySettings& s) {
    std::string parts;
    const auto add = [&](const char* key, std::int32_t value) {
        if (value >= 0) return;
        if (!parts.empty()) parts += ", ";
        parts += std::string(key) + " is " + std::to_string(value);
    };
    add("INTERVAL_HOUR", s.INTERVAL_HOUR);
    add("INTERVAL_MINUTE", s.INTERVAL_MINUTE);
    add("INTERVAL_SECOND", s.INTERVAL_SECOND);
    return parts;
}

// Interval storing that can never come round: parts that add up to no time
// at all or to less, which the worker's unsigned arithmetic turns into some
// 49 days.
bool IntervalNeverComes(const DiarySettings& s) {
    const std::int64_t seconds = std::int64_t{s.INTERVAL_HOUR} * 3600 +
                                 std::int64_t{s.INTERVAL_MINUTE} * 60 + s.INTERVAL_SECOND;
    return seconds <= 0 && !NegativeIntervalParts(s).empty();
}

std::string TextRemark(const std::string& file, SettingsFileText text) {
    switch (text) {
        case SettingsFileText::kCp932:
            break;
        case SettingsFileText::kUtf8:
            return "quillomat: " + file +
                   " is written in UTF-8, not in CP932: it is read as UTF-8 and written back "
                   "in CP932.";
        case SettingsFileText::kMixed:
            return "quillomat: " + file +
                   " is neither CP932 nor UTF-8 throughout: each value is read as whichever "
                   "of the two it is, and one that is neither is written back as it stands.";
    }
    return {};
}

std::string PageNameRemark(const char* key, const std::string& configured) {
    if (PageNameStaysInItsFolder(configured)) return {};
    return std::string("quillomat: ") + key + " \"" + configured +
           "\" would write outside its folder; \"" + PageFileName(configured) +
           "\" is used instead (setup.ini, section HTML).";
}

std::string SaveFolderRemark(const DiarySettings& s) {
    const std::string folder = SaveFolderPath(s);
    if (folder.empty()) return {};
    struct stat st {};
    const char* problem = nullptr;
    if (::stat(folder.c_str(), &st) != 0) {
        problem = "does not exist";
    } else if (!S_ISDIR(st.st_mode)) {
        problem = "is not a folder";
    } else if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        problem = "cannot be written to";
    }
    if (problem == nullptr) return {};
    return "quillomat: the save folder " + folder + " " + problem +
           ": no picture can be stored until it can (SAVE_DIRECTORY, setup.ini, section DIARY).";
}

}  // namespace

std::string WhyNothingIsStored(const DiarySettings& s, bool set_times) {
    std::string reasons;
    const auto add = [&](const std::string& reason) {
        if (!reasons.empty()) reasons += "; ";
        reasons += reason;
    };
    if (s.SAVE_DIRECTORY.empty()) add("SAVE_DIRECTORY is empty");
    if (!s.ONAIR) add("ONAIR is off");
    // The same unsigned 32-bit arithmetic as the worker's interval.
    const std::uint32_t interval_ms = (static_cast<std::uint32_t>(s.INTERVAL_HOUR) * 3600u +
                                       static_cast<std::uint32_t>(s.INTERVAL_MINUTE) * 60u +
                                       static_cast<std::uint32_t>(s.INTERVAL_SECOND)) *
                                      1000u;
    if (!s.MOTION_DETECT && !set_times) {
        if (IntervalNeverComes(s)) {
            add(NegativeIntervalParts(s) + " and MOTION_DETECT is off");
        } else if (interval_ms == 0) {
            add("INTERVAL_HOUR, INTERVAL_MINUTE and INTERVAL_SECOND are 0 and MOTION_DETECT is "
                "off");
        }
    }
    if (reasons.empty()) return {};
    return "quillomat: no picture will be stored: " + reasons + kDiarySection;
}

std::vector<std::string> StartupRemarks(const DiarySettings& s, bool set_times) {
    std::vector<std::string> remarks;
    const auto add = [&](std::string remark) {
        if (!remark.empty()) remarks.push_back(std::move(remark));
    };
    if (!s.settings_folder.empty()) {
        add(TextRemark("setup.ini", SettingsFileTextOf(s.settings_folder + "setup.ini")));
        add(TextRemark("device.ini", SettingsFileTextOf(s.settings_folder + "device.ini")));
    }
    const std::string nothing = WhyNothingIsStored(s, set_times);
    add(nothing);
    if (nothing.empty() && s.MOTION_DETECT && IntervalNeverComes(s)) {
        add("quillomat: no picture will be stored at an interval, only on motion: " +
            NegativeIntervalParts(s) + kDiarySection);
    }
    add(SaveFolderRemark(s));
    add(PageNameRemark("PREVIEW_HTML", s.PREVIEW_HTML));
    add(PageNameRemark("INDEX_HTML", s.INDEX_HTML));
    return remarks;
}

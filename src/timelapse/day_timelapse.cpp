#include "timelapse/day_timelapse.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QtGlobal>
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "diary/picture_store.h"
#include "platform/clock.h"
#include "settings/shared_settings.h"
#include "timelapse/day_video.h"
#include "timelapse/day_video_name.h"
#include "timelapse/store_watch.h"
#include "web/day_page.h"
#include "web/web_pages.h"

namespace {

namespace fs = std::filesystem;

std::string SaveDirectory(const DiarySettings& settings) {
    std::string save = settings.SAVE_DIRECTORY;
    if (!save.empty() && save.back() != '/') save += '/';
    return save;
}

// Real folders only: a link may lead out of the save folder.
std::vector<std::string> DayFolders(const std::string& save_directory) {
    std::vector<std::string> days;
    std::error_code ec;
    fs::directory_iterator it(save_directory, ec);
    if (ec) return days;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code type_ec;
        std::string name = it->path().filename().string();
        if (IsDayFolderName(name) && it->symlink_status(type_ec).type() == fs::file_type::directory)
            days.push_back(std::move(name));
    }
    return days;
}

// The day's own pictures in name order (the order they were taken).
std::vector<std::string> DayPictures(const std::string& day_directory, const std::string& day) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(day_directory, ec);
    if (ec) return names;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code type_ec;
        std::string name = it->path().filename().string();
        if (IsDayPictureName(day, name) &&
            it->symlink_status(type_ec).type() == fs::file_type::regular) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string SizeText(std::uintmax_t bytes) {
    char text[32];
    if (bytes < 1024 * 1024) {
        std::snprintf(text, sizeof text, "%.0fKB", static_cast<double>(bytes) / 1024.0);
    } else {
        std::snprintf(text, sizeof text, "%.1fMB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    }
    return text;
}

std::string OneDecimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

LogText MadeLine(const std::string& day, const DayVideoOutcome& outcome, int fps,
                 double seconds_taken) {
    const std::vector<std::string> arguments{day,
                                             std::to_string(outcome.frames),
                                             OneDecimal(static_cast<double>(outcome.frames) / fps),
                                             SizeText(outcome.bytes),
                                             OneDecimal(seconds_taken),
                                             std::to_string(outcome.skipped)};
    if (outcome.skipped > 0) {
        return TranslatedLogText("DayTimelapse",
                                 QT_TRANSLATE_NOOP("DayTimelapse",
                                                   "タイムラプス動画を作成 %1 (%2コマ, %3秒, %4, "
                                                   "処理%5秒, 読めない画像%6枚を除外)"),
                                 arguments);
    }
    return TranslatedLogText(
        "DayTimelapse",
        QT_TRANSLATE_NOOP("DayTimelapse", "タイムラプス動画を作成 %1 (%2コマ, %3秒, %4, 処理%5秒)"),
        arguments);
}

}  // namespace

DayTimelapse::DayTimelapse(DayTimelapseServices services) : services_(std::move(services)) {
    services_.pages.LinkDayVideos([](const std::string& day) { return DayVideoName(day); });
}

void DayTimelapse::Begin(const StopSignal& stop) {
    const std::string save = SaveDirectory(services_.settings.Copy());
    if (save.empty()) return;
    for (const std::string& day : DayFolders(save)) {
        if (stop.IsSet()) return;
        const std::string temporary = save + day + "/" + DayVideoTemporaryName(day);
        if (IsRegularFile(temporary)) ::unlink(temporary.c_str());
    }
}

void DayTimelapse::Handle(const DiaryEvent& event, const StopSignal&) {
    // The day before is over.
    if (std::holds_alternative<DayBegun>(event)) looking_ = true;
}

std::optional<std::chrono::milliseconds> DayTimelapse::NextWake() {
    const auto [making, save] = services_.settings.Read(
        [](const DiarySettings& s) { return std::pair(s.TIMELAPSE_MAKE, SaveDirectory(s)); });
    if (making && (!was_making_ || save != looked_in_)) looking_ = true;
    was_making_ = making;
    if (!looking_) return std::nullopt;
    if (!making) return kLookAgain;
    return std::chrono::milliseconds(0);
}

void DayTimelapse::Wake(const StopSignal& stop) {
    const DiarySettings settings = services_.settings.Copy();
    if (!settings.TIMELAPSE_MAKE) return;
    looked_in_ = SaveDirectory(settings);
    if (!WorkOnNextDay(settings, stop)) looking_ = false;
}

bool DayTimelapse::WorkOnNextDay(const DiarySettings& settings, const StopSignal& stop) {
    const std::string save = SaveDirectory(settings);
    if (save.empty()) return false;
    const std::string today = DayDirectoryName(services_.clock.LocalNow());
    std::vector<std::string> days = DayFolders(save);
    std::sort(days.begin(), days.end(), std::greater<>());
    for (const std::string& day : days) {
        if (stop.IsSet()) return true;
        if (day >= today || settled_.contains(save + day)) continue;
        settled_.insert(save + day);
        const std::string directory = save + day + "/";
        const std::string video = directory + DayVideoName(day);
        if (Exists(video)) {
            // A kill between the video's rename and its page's rewrite.
            const std::string page = directory + settings.PREVIEW_HTML;
            if (settings.PREVIEW_CREATE && !settings.PREVIEW_HTML.empty() && IsRegularFile(video) &&
                IsRegularFile(page) && !DayPageLinksVideo(page, DayVideoName(day))) {
                RewritePage(settings, save, day, video);
                return true;
            }
            continue;
        }
        std::vector<std::string> pictures = DayPictures(directory, day);
        if (pictures.empty()) continue;
        for (std::string& name : pictures) name = directory + name;
        MakeVideo(settings, save, day, pictures, stop);
        return true;
    }
    return false;
}

void DayTimelapse::MakeVideo(const DiarySettings& settings, const std::string& save_directory,
                             const std::string& day_name, const std::vector<std::string>& pictures,
                             const StopSignal& stop) {
    const std::string directory = save_directory + day_name + "/";
    const std::string video = directory + DayVideoName(day_name);
    const int fps = std::clamp(settings.TIMELAPSE_FPS, 1, 60);
    const auto start = std::chrono::steady_clock::now();
    const auto give_way = [&] {
        while (services_.stores && services_.stores->StoreUnderWay() && !stop.IsSet())
            stop.WaitFor(std::chrono::milliseconds(5));
    };
    const DayVideoOutcome outcome = MakeDayVideo(
        pictures, directory + DayVideoTemporaryName(day_name), video, fps, stop, give_way);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    switch (outcome.result) {
        case DayVideoOutcome::Result::kMade:
            services_.post_line(MadeLine(day_name, outcome, fps, seconds));
            RewritePage(settings, save_directory, day_name, video);
            break;
        case DayVideoOutcome::Result::kNothingDecoded:
            services_.post_line(TranslatedLogText(
                "DayTimelapse",
                QT_TRANSLATE_NOOP("DayTimelapse",
                                  "タイムラプス動画を作成できません %1 (読める画像がありません)"),
                {day_name}));
            break;
        case DayVideoOutcome::Result::kFailed:
            services_.post_line(TranslatedLogText(
                "DayTimelapse",
                QT_TRANSLATE_NOOP("DayTimelapse", "タイムラプス動画の作成に失敗 %1 (%2)"),
                {day_name, outcome.error}));
            // No other day would do better now: this one and the rest wait
            // for the next day (or start), not one failed line each.
            if (outcome.every_day_would_fail) {
                settled_.erase(save_directory + day_name);
                looking_ = false;
            }
            break;
        case DayVideoOutcome::Result::kStopped:
            break;
    }
}

void DayTimelapse::RewritePage(const DiarySettings& settings, const std::string& save_directory,
                               const std::string& day_name, const std::string& video_path) {
    DayVideoMade made{save_directory, day_name, video_path, {}};
    if (std::string page = services_.pages.RewritePastDayPage(save_directory, day_name, settings);
        !page.empty()) {
        made.pages.push_back(std::move(page));
    }
    services_.events.Publish(std::move(made));
}

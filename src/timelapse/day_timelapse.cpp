#include "timelapse/day_timelapse.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtGlobal>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>

#include "diary/layout/day_folders.h"
#include "diary/layout/diary_layout.h"
#include "diary/layout/diary_names.h"
#include "diary/picture_store.h"
#include "platform/clock.h"
#include "settings/shared_settings.h"
#include "timelapse/day_video.h"
#include "timelapse/timelapse_settings.h"
#include "web/day_page.h"

namespace {

// The day's own pictures in name order (the order they were taken).
std::vector<std::string> DayPictures(const OpenFolder& save, const std::string& day) {
    std::vector<std::string> names;
    const OpenFolder folder = OpenFolder::OpenInside(save, day);
    folder.ForEachEntry([&](std::string_view name, unsigned char type) {
        if (IsPictureFileName(name, day) && folder.IsRegularFile(name, type))
            names.emplace_back(name);
    });
    std::sort(names.begin(), names.end());
    return names;
}

bool IsRegularFile(const OpenFolder& save, const std::string& day, const std::string& name) {
    const std::optional<struct stat> st = OpenFolder::OpenInside(save, day).Status(name);
    return st && S_ISREG(st->st_mode);
}

// The folder's modification time, which any picture added, removed or
// renamed changes; empty when it cannot be read.
std::string FolderStamp(const std::string& directory) {
    struct stat st;
    if (::lstat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
    return std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

constexpr const char* kUnreadableFile = "timelapse_unreadable.txt";

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

std::string DayVideoToLink(const std::string& day_name, const DiarySettings& settings) {
    return settings.Section<TimelapseSettings>().MAKE ? DayVideoName(day_name) : std::string();
}

DayTimelapse::DayTimelapse(DiaryJobContext context) : context_(std::move(context)) {
    context_.link_day_videos(DayVideoToLink);
}

void RegisterTimelapse(const DiaryJobContext& context) {
    RegisterSettingsSection(TimelapseSettingsSection());
    context.events.Subscribe(std::make_shared<DayTimelapse>(context));
}

void DayTimelapse::Begin(const StopSignal& stop) {
    const DiaryLayout layout = DiaryLayout::Of(context_.settings.Copy());
    if (layout.save_folder.empty()) return;
    const OpenFolder save = OpenFolder::Open(layout.save_folder);
    for (const std::string& day : ListDayFolders(save)) {
        if (stop.IsSet()) return;
        OpenFolder::OpenInside(save, day).RemoveRegularFile(DayVideoTemporaryName(day));
    }
}

void DayTimelapse::Handle(const DiaryEvent& event, const StopSignal&) {
    // The day before is over.
    if (std::holds_alternative<DayBegun>(event)) looking_ = true;
}

std::optional<std::chrono::milliseconds> DayTimelapse::NextWake() {
    const auto [making, save] = context_.settings.Read([](const DiarySettings& s) {
        return std::pair(s.Section<TimelapseSettings>().MAKE, DiaryLayout::Of(s).save_folder);
    });
    if (making && (!was_making_ || save != looked_in_)) looking_ = true;
    was_making_ = making;
    if (!looking_) return std::nullopt;
    if (!making) return kLookAgain;
    return std::chrono::milliseconds(0);
}

void DayTimelapse::Wake(const StopSignal& stop) {
    const DiarySettings settings = context_.settings.Copy();
    if (!settings.Section<TimelapseSettings>().MAKE) return;
    looked_in_ = DiaryLayout::Of(settings).save_folder;
    if (!WorkOnNextDay(settings, stop)) looking_ = false;
}

bool DayTimelapse::WorkOnNextDay(const DiarySettings& settings, const StopSignal& stop) {
    const DiaryLayout layout = DiaryLayout::Of(settings);
    const std::string& save = layout.save_folder;
    if (save.empty()) return false;
    const OpenFolder save_folder = OpenFolder::Open(save);
    const std::string today = DayDirectoryName(context_.clock.LocalNow());
    std::vector<std::string> days = ListDayFolders(save_folder);
    std::reverse(days.begin(), days.end());
    for (const std::string& day : days) {
        if (stop.IsSet()) return true;
        if (day >= today || settled_.contains(save + day)) continue;
        settled_.insert(save + day);
        const std::string directory = layout.DayFolder(day);
        const std::string video = directory + DayVideoName(day);
        if (OpenFolder::OpenInside(save_folder, day).Status(DayVideoName(day))) {
            // A kill between the video's rename and its page's rewrite.
            if (settings.PREVIEW_CREATE && !layout.day_page.empty() &&
                IsRegularFile(save_folder, day, DayVideoName(day)) &&
                IsRegularFile(save_folder, day, layout.day_page) &&
                !DayPageLinksVideo(directory + layout.day_page, DayVideoName(day))) {
                RewritePage(settings, save, day, video);
                return true;
            }
            continue;
        }
        if (KnownUnreadable(directory)) continue;
        std::vector<std::string> pictures = DayPictures(save_folder, day);
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
    const int fps = std::clamp(settings.Section<TimelapseSettings>().FPS, 1, 60);
    const auto start = std::chrono::steady_clock::now();
    const auto give_way = [&] {
        while (context_.events.StoreUnderWay() && !stop.IsSet())
            stop.WaitFor(std::chrono::milliseconds(5));
    };
    const DayVideoOutcome outcome = MakeDayVideo(
        pictures, directory + DayVideoTemporaryName(day_name), video, fps, stop, give_way);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    switch (outcome.result) {
        case DayVideoOutcome::Result::kMade:
            context_.post_line(MadeLine(day_name, outcome, fps, seconds));
            RewritePage(settings, save_directory, day_name, video);
            break;
        case DayVideoOutcome::Result::kNothingDecoded:
            RememberUnreadable(directory);
            context_.post_line(TranslatedLogText(
                "DayTimelapse",
                QT_TRANSLATE_NOOP("DayTimelapse",
                                  "タイムラプス動画を作成できません %1 (読める画像がありません)"),
                {day_name}));
            break;
        case DayVideoOutcome::Result::kFailed:
            context_.post_line(TranslatedLogText(
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
    if (std::string page = context_.rewrite_past_day_page(save_directory, day_name, settings);
        !page.empty()) {
        made.pages.push_back(std::move(page));
    }
    context_.publish.Publish(std::move(made));
}

bool DayTimelapse::KnownUnreadable(const std::string& day_directory) {
    if (!unreadable_read_) {
        unreadable_read_ = true;
        if (!context_.settings_directory.empty()) {
            // "<stamp> <folder>" a line.
            std::ifstream file(context_.settings_directory + kUnreadableFile);
            std::string line;
            while (std::getline(file, line)) {
                const std::size_t space = line.find(' ');
                if (space != std::string::npos && space + 1 < line.size())
                    unreadable_[line.substr(space + 1)] = line.substr(0, space);
            }
        }
    }
    const auto it = unreadable_.find(day_directory);
    if (it == unreadable_.end()) return false;
    if (it->second == FolderStamp(day_directory)) return true;
    unreadable_.erase(it);
    return false;
}

void DayTimelapse::RememberUnreadable(const std::string& day_directory) {
    const std::string stamp = FolderStamp(day_directory);
    if (stamp.empty()) return;
    unreadable_[day_directory] = stamp;
    if (context_.settings_directory.empty()) return;
    std::string text;
    for (auto it = unreadable_.begin(); it != unreadable_.end();) {
        // Folders gone since are forgotten.
        if (FolderStamp(it->first).empty()) {
            it = unreadable_.erase(it);
            continue;
        }
        text += it->second + " " + it->first + "\n";
        ++it;
    }
    // Never through a link; a write cut off is only a day said once more.
    const std::string path = context_.settings_directory + kUnreadableFile;
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return;
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

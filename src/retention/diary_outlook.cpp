#include "retention/diary_outlook.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "diary/layout/day_folders.h"
#include "diary/layout/diary_names.h"
#include "platform/stop_signal.h"

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kShortestSpan = 3600.0;

int Digits(const std::string& text, std::size_t at, std::size_t count) {
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) value = value * 10 + (text[i] - '0');
    return value;
}

// Seconds since 1970-01-01 00:00 of the local time a picture name gives.
double PictureSeconds(const std::string& name) {
    return static_cast<double>(DayNumberOf(std::string_view(name).substr(0, 8))) * kSecondsPerDay +
           Digits(name, 8, 2) * 3600.0 + Digits(name, 10, 2) * 60.0 + Digits(name, 12, 2);
}

}  // namespace

std::optional<double> DiaryOutlook::BytesPerDay() const {
    if (recent_days <= 0) return std::nullopt;
    return static_cast<double>(recent_bytes) / recent_days;
}

std::optional<double> DiaryOutlook::DaysThatFit() const {
    const std::optional<double> rate = BytesPerDay();
    if (error != 0 || !rate || *rate <= 0) return std::nullopt;
    return static_cast<double>(free_bytes) / *rate;
}

DiaryOutlook LookAtDiary(const std::string& save_folder, const std::string& day_page,
                         const std::tm& now, const StopSignal& stop) {
    DiaryOutlook outlook;
    const OpenFolder save = OpenFolder::Open(save_folder);
    if (!save.IsOpen()) {
        outlook.error = save.Error();
        return outlook;
    }
    const std::optional<FileSystemSpace> space = SpaceOf(save_folder);
    if (!space) {
        outlook.error = errno != 0 ? errno : EIO;
        return outlook;
    }
    outlook.free_bytes = space->free_bytes;
    outlook.total_bytes = space->total_bytes;

    const std::int64_t today = DayNumberOf(now);
    std::string first_picture;
    for (const std::string& day : ListDayFolders(save)) {
        const std::int64_t age = today - DayNumberOf(day);
        if (age < 0 || age > 6) continue;
        const OpenFolder folder = OpenFolder::OpenInside(save, day);
        if (!folder.IsOpen()) continue;
        for (const OpenFolder::Entry& entry : folder.Entries()) {
            if (stop.IsSet()) return outlook;
            struct stat st {};
            if (!IsOwnDayFile(day, entry.name, day_page) ||
                ::fstatat(folder.Fd(), entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
                !S_ISREG(st.st_mode)) {
                continue;
            }
            outlook.recent_bytes += static_cast<std::uint64_t>(st.st_size);
            if (IsPictureFileName(entry.name, day) &&
                (first_picture.empty() || entry.name < first_picture)) {
                first_picture = entry.name;
            }
        }
    }
    if (!first_picture.empty()) {
        const double now_seconds = static_cast<double>(today) * kSecondsPerDay +
                                   now.tm_hour * 3600.0 + now.tm_min * 60.0 + now.tm_sec;
        outlook.recent_days =
            std::max(now_seconds - PictureSeconds(first_picture), kShortestSpan) / kSecondsPerDay;
    }
    return outlook;
}

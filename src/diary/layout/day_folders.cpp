#include "diary/layout/day_folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "diary/layout/diary_names.h"
#include "platform/atomic_file.h"
#include "platform/stop_signal.h"

namespace {

int Digits(std::string_view text) {
    int value = 0;
    for (const char c : text) value = value * 10 + (c - '0');
    return value;
}

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// A day folder that is a mount point holds another file system's files,
// which the diary never wrote. A bind mount of a folder of the same file
// system keeps its device number; the kernel still marks its root.
bool OnOtherFileSystem(const OpenFolder& save, const OpenFolder& folder) {
    struct stat save_st {};
    struct stat folder_st {};
    if (::fstat(save.Fd(), &save_st) != 0 || ::fstat(folder.Fd(), &folder_st) != 0) return true;
    if (save_st.st_dev != folder_st.st_dev) return true;
    struct statx mark {};
    return ::statx(folder.Fd(), "", AT_EMPTY_PATH, STATX_BASIC_STATS, &mark) == 0 &&
           (mark.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
           (mark.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

}  // namespace

OpenFolder OpenFolder::Open(const std::string& path) {
    OpenFolder folder;
    folder.fd_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder.fd_ < 0) folder.error_ = errno;
    return folder;
}

OpenFolder OpenFolder::OpenInside(const OpenFolder& parent, const std::string& name) {
    OpenFolder folder;
    if (!parent.IsOpen() || name.empty() || name.find('/') != std::string::npos || name == "." ||
        name == "..") {
        folder.error_ = EINVAL;
        return folder;
    }
    folder.fd_ =
        ::openat(parent.fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder.fd_ < 0) folder.error_ = errno;
    return folder;
}

OpenFolder::~OpenFolder() {
    if (fd_ >= 0) ::close(fd_);
}

OpenFolder::OpenFolder(OpenFolder&& other) noexcept : fd_(other.fd_), error_(other.error_) {
    other.fd_ = -1;
}

OpenFolder& OpenFolder::operator=(OpenFolder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        error_ = other.error_;
        other.fd_ = -1;
    }
    return *this;
}

std::vector<OpenFolder::Entry> OpenFolder::Entries() const {
    std::vector<Entry> entries;
    ForEachEntry([&](std::string_view name, unsigned char type) {
        entries.push_back({std::string(name), type});
    });
    return entries;
}

void OpenFolder::ForEachEntry(
    const std::function<void(std::string_view name, unsigned char type)>& visit) const {
    if (fd_ < 0) return;
    // The listing gets a descriptor of its own: closedir closes it.
    const int copy = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (copy < 0) return;
    DIR* dir = ::fdopendir(copy);
    if (dir == nullptr) {
        ::close(copy);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") visit(name, entry->d_type);
    }
    ::closedir(dir);
}

bool OpenFolder::IsRealFolder(std::string_view name, unsigned char type) const {
    if (type != DT_UNKNOWN) return type == DT_DIR;
    struct stat st {};
    return ::fstatat(fd_, std::string(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISDIR(st.st_mode);
}

bool OpenFolder::IsRegularFile(std::string_view name, unsigned char type) const {
    if (type != DT_UNKNOWN) return type == DT_REG;
    struct stat st {};
    return ::fstatat(fd_, std::string(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(st.st_mode);
}

std::optional<struct stat> OpenFolder::Status(const std::string& name) const {
    struct stat st {};
    if (fd_ < 0 || ::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    return st;
}

bool OpenFolder::RemoveRegularFile(const std::string& name) const {
    const std::optional<struct stat> st = Status(name);
    // unlinkat removes a link itself, never what it points to, should the
    // entry have been swapped for one since the look.
    return st && S_ISREG(st->st_mode) && ::unlinkat(fd_, name.c_str(), 0) == 0;
}

std::int64_t CivilDayNumber(int year, int month, int day) {
    // Howard Hinnant's days_from_civil.
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t year_of_era = y - era * 400;
    const std::int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t day_of_era =
        year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

std::int64_t DayNumberOf(std::string_view day_name) {
    return CivilDayNumber(Digits(day_name.substr(0, 4)), Digits(day_name.substr(4, 2)),
                          Digits(day_name.substr(6, 2)));
}

std::int64_t DayNumberOf(const std::tm& time) {
    return CivilDayNumber(time.tm_year + 1900, time.tm_mon + 1, time.tm_mday);
}

std::vector<std::string> ListDayFolders(const OpenFolder& save) {
    // Sorted as numbers, which is date order too: the hourly sweep of a
    // diary of years lists thousands of days.
    std::vector<std::uint32_t> dates;
    save.ForEachEntry([&](std::string_view name, unsigned char type) {
        if (IsDayDirectoryName(name) && save.IsRealFolder(name, type))
            dates.push_back(static_cast<std::uint32_t>(Digits(name)));
    });
    std::sort(dates.begin(), dates.end());
    std::vector<std::string> days;
    days.reserve(dates.size());
    for (std::uint32_t date : dates) {
        std::string name(8, '0');
        for (int i = 7; i >= 0; --i, date /= 10) name[i] = static_cast<char>('0' + date % 10);
        days.push_back(std::move(name));
    }
    return days;
}

std::vector<std::string> ListSubfolders(const OpenFolder& save) {
    std::vector<std::string> folders;
    save.ForEachEntry([&](std::string_view name, unsigned char type) {
        if (save.IsRealFolder(name, type)) folders.emplace_back(name);
    });
    return folders;
}

std::vector<std::string> ListPagePictures(const OpenFolder& folder) {
    std::vector<std::string> names;
    folder.ForEachEntry([&](std::string_view name, unsigned char type) {
        if (IsPagePictureName(name) && folder.IsRegularFile(name, type)) names.emplace_back(name);
    });
    return names;
}

std::vector<std::string> ListPagePictures(const std::string& parent, const std::string& name) {
    return ListPagePictures(OpenFolder::OpenInside(OpenFolder::Open(parent), name));
}

bool EntryExists(const std::string& directory, const std::string& name) {
    if (directory.empty() || name.empty() || name.find('/') != std::string::npos) return false;
    const std::string path = directory + (directory.ends_with('/') ? "" : "/") + name;
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool MakeDayFolder(const std::string& save_folder, const std::string& day) {
    const OpenFolder save = OpenFolder::Open(save_folder);
    if (!save.IsOpen() || day.empty() || day.find('/') != std::string::npos) return false;
    if (::mkdirat(save.Fd(), day.c_str(), 0755) != 0 && errno != EEXIST) return false;
    const std::optional<struct stat> st = save.Status(day);
    return st && S_ISDIR(st->st_mode);
}

DayFiles CountDayFiles(const OpenFolder& save, const std::string& day,
                       const std::string& day_page) {
    DayFiles files;
    const OpenFolder folder = OpenFolder::OpenInside(save, day);
    struct stat folder_st {};
    if (!folder.IsOpen() || ::fstat(folder.Fd(), &folder_st) != 0) return files;
    files.found = true;
    files.folder_changed = folder_st.st_mtim;
    if (OnOtherFileSystem(save, folder)) {
        files.other_file_system = files.others = true;
        return files;
    }
    for (const OpenFolder::Entry& entry : folder.Entries()) {
        struct stat st {};
        if (!IsOwnDayFile(day, entry.name, day_page) ||
            ::fstatat(folder.Fd(), entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode)) {
            files.others = true;
            continue;
        }
        files.bytes += static_cast<std::uint64_t>(st.st_size);
        if (entry.name == day_page) files.page_bytes = static_cast<std::uint64_t>(st.st_size);
        ++files.files;
    }
    return files;
}

bool DayFolderChanged(const OpenFolder& save, const std::string& day, const timespec& since) {
    struct stat st {};
    if (::fstatat(save.Fd(), day.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
        return true;
    return !SameTime(st.st_mtim, since);
}

DayDeletion DeleteDayFiles(const OpenFolder& save, const std::string& day,
                           const std::string& day_page, const StopSignal& stop) {
    DayDeletion deletion;
    const OpenFolder folder = OpenFolder::OpenInside(save, day);
    if (!folder.IsOpen()) return deletion;
    deletion.found = true;
    if (OnOtherFileSystem(save, folder)) {
        deletion.other_file_system = deletion.others = true;
        return deletion;
    }
    for (const OpenFolder::Entry& entry : folder.Entries()) {
        if (stop.IsSet()) {
            deletion.stopped = true;
            return deletion;
        }
        struct stat st {};
        if (!IsOwnDayFile(day, entry.name, day_page) ||
            ::fstatat(folder.Fd(), entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode)) {
            deletion.others = true;
            continue;
        }
        // A link or a folder put at the name since it was looked at is
        // never followed: unlinkat removes a link itself and refuses a folder.
        if (::unlinkat(folder.Fd(), entry.name.c_str(), 0) != 0) {
            if (errno == ENOENT) continue;
            if (deletion.failed_errno == 0) deletion.failed_errno = errno;
            continue;
        }
        deletion.bytes += static_cast<std::uint64_t>(st.st_size);
        deletion.removed.push_back(entry.name);
    }
    if (!deletion.others && deletion.failed_errno == 0) {
        // Refused when anything came meanwhile, or when the name is no
        // longer this folder (a link is no folder to remove).
        deletion.folder_removed = ::unlinkat(save.Fd(), day.c_str(), AT_REMOVEDIR) == 0;
    }
    return deletion;
}

std::optional<FileSystemSpace> SpaceOf(const std::string& path) {
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0) return std::nullopt;
    const std::uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    return FileSystemSpace{static_cast<std::uint64_t>(info.f_bavail) * unit,
                           static_cast<std::uint64_t>(info.f_blocks) * unit};
}

std::uint64_t RegularFileSize(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

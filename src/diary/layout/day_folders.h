#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class StopSignal;

// The one way the diary's folders are listed, whoever lists them (the pages,
// the clean-up at start, retention, publishing, the timelapse): a link is
// never followed and never listed as a folder or a file, and whatever is
// looked at below the save folder is looked at through the descriptor of
// its folder, so nothing outside the save folder is ever reached.

// A folder held by its descriptor: what is listed, counted and removed in it
// stays in it even when its path is swapped for a link meanwhile.
class OpenFolder {
public:
    OpenFolder() = default;
    // The save folder as the user named it (a link the user chose is theirs).
    static OpenFolder Open(const std::string& path);
    // The folder `name` directly inside `parent`, never through a link.
    static OpenFolder OpenInside(const OpenFolder& parent, const std::string& name);
    ~OpenFolder();
    OpenFolder(OpenFolder&& other) noexcept;
    OpenFolder& operator=(OpenFolder&& other) noexcept;
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    // errno of the failed open, 0 when open.
    int Error() const { return error_; }

    struct Entry {
        std::string name;
        unsigned char type;  // DT_* as listed; DT_UNKNOWN when the listing did not say
    };
    // Every entry but "." and "..", in listing order; empty when unreadable.
    std::vector<Entry> Entries() const;
    // The same, one at a time, without keeping them.
    void ForEachEntry(
        const std::function<void(std::string_view name, unsigned char type)>& visit) const;
    // True when the entry is a folder of its own (a link is not).
    bool IsRealFolder(std::string_view name, unsigned char type) const;
    // True when the entry is a regular file of its own (a link is not).
    bool IsRegularFile(std::string_view name, unsigned char type) const;
    // The entry itself (a link's own status, never what it points to).
    std::optional<struct stat> Status(const std::string& name) const;
    // Removes `name` when it is a regular file; a link or anything else
    // put there stays. True when it went.
    bool RemoveRegularFile(const std::string& name) const;

private:
    int fd_ = -1;
    int error_ = 0;
};

// Days since 1970-01-01 of a civil date, whatever the time zone.
std::int64_t CivilDayNumber(int year, int month, int day);
// Of a day folder name "YYYYMMDD" (a real date), and of a local time.
std::int64_t DayNumberOf(std::string_view day_name);
std::int64_t DayNumberOf(const std::tm& time);

// The day folders directly under the save folder: names that are real dates
// and entries that are real folders (a link named like a day leads out of the
// save folder), oldest first.
std::vector<std::string> ListDayFolders(const OpenFolder& save);
// Every real folder directly under the save folder, whatever its name (the
// index page's newest pictures come from all of them), in listing order.
std::vector<std::string> ListSubfolders(const OpenFolder& save);
// The regular files of `folder` that the pages show as pictures
// (IsPagePictureName), in listing order.
std::vector<std::string> ListPagePictures(const OpenFolder& folder);
// The same for the folder `name` directly inside the folder at `parent`.
std::vector<std::string> ListPagePictures(const std::string& parent, const std::string& name);

// True when `name` exists directly inside `directory` (a file, a folder or a
// link, whatever it points to).
bool EntryExists(const std::string& directory, const std::string& name);
// Makes the day folder `day` in the save folder, or finds it there; false
// when it cannot be made or what holds the name is no real folder (a link
// would take the pictures out of the save folder). Never makes the save
// folder itself.
bool MakeDayFolder(const std::string& save_folder, const std::string& day);

struct DayFiles {
    std::uint64_t bytes = 0;       // the program's own regular files, the page's included
    std::uint64_t page_bytes = 0;  // the day page's
    std::size_t files = 0;
    bool others = false;             // anything else lies there: a user's file, a folder, a link
    timespec folder_changed{};       // the folder's modification time when counted
    bool found = false;              // the folder was there, and a real folder
    bool other_file_system = false;  // a mount point: nothing in it is counted
};
DayFiles CountDayFiles(const OpenFolder& save, const std::string& day, const std::string& day_page);

// True when the folder `day` changed (an entry was added, removed or
// renamed) since the modification time `since`, or is no real folder now.
bool DayFolderChanged(const OpenFolder& save, const std::string& day, const timespec& since);

struct DayDeletion {
    std::vector<std::string> removed;  // file names, in listing order
    std::uint64_t bytes = 0;
    bool others = false;          // what is not the program's stays, and so does the folder
    int failed_errno = 0;         // a file of ours that could not be removed (the first error)
    bool folder_removed = false;  // nothing was left, and the folder went too
    bool stopped = false;
    bool found = false;  // the folder was there, and a real folder
    // The folder is another file system's (a mount point, a bind mount):
    // nothing in it was touched.
    bool other_file_system = false;
};

// Removes the program's own regular files of the day folder `day` one at a
// time, then the folder when nothing else is in it. Never through a link:
// the folder is opened without following one, and each file is looked at
// and removed relative to that descriptor, so nothing outside the save
// folder can be reached even if a name is swapped meanwhile. A link or a
// folder at an own file's name stays, and so does a folder that is a mount
// point. Ends early when `stop` is set.
DayDeletion DeleteDayFiles(const OpenFolder& save, const std::string& day,
                           const std::string& day_page, const StopSignal& stop);

// The space of the file system that holds `path` (statvfs: microseconds).
struct FileSystemSpace {
    std::uint64_t free_bytes = 0;  // what an unprivileged writer may still use
    std::uint64_t total_bytes = 0;
};
std::optional<FileSystemSpace> SpaceOf(const std::string& path);

// The size of the regular file `path`, never through a link; 0 for anything else.
std::uint64_t RegularFileSize(const std::string& path);

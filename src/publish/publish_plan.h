#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "publish/local_listing.h"
#include "publish/publish_target.h"

// What publishing does with one folder of the save folder and its copy on the
// remote, decided from the two listings alone (no rclone, no files).

enum class PlanStep {
    kSend,         // not on the remote
    kReplace,      // the remote holds another copy (other size, or older)
    kSendPage,     // the folder's page, which differs there
    kRefreshPage,  // the page, perhaps alike there: the remote keeps no times to tell
    kPageCurrent,  // the page there is this one
    kDelete,       // a partial upload of ours left on the remote
};

struct PlanAction {
    PlanStep step;
    std::string name;  // in the folder
    bool operator==(const PlanAction&) const = default;
};

struct FolderPlanInput {
    std::string folder;  // "" for the save folder itself, else a day
    std::vector<LocalFile> local;
    std::vector<RemoteEntry> remote;  // empty when the folder is not there
    DiaryLayout layout;               // the page names
    bool exact_times = false;         // the remote's listings tell the files' own times
    std::int64_t precision_ns = 1'000'000'000;
    // The newest day: where the remote keeps no times, its page goes anyway.
    bool newest_day = false;
};

// The actions for the folder: deletions of our partial uploads first, then
// the media to send, then the page (the index page at the save folder).
std::vector<PlanAction> PlanFolder(const FolderPlanInput& input);
// The actions that are files the remote lacks or holds in another copy (the
// count said when the remote is back).
std::size_t WaitingCount(const std::vector<PlanAction>& plan);

// Whether `local` is to go to where the remote holds `remote` (none: null).
bool NeedsSending(const LocalFile& local, const RemoteEntry* remote, bool exact_times,
                  std::int64_t precision_ns);

// The days to look at (newest first) when a look at the whole save folder
// that began at `last_look_ns` came before: those changed since then (a new
// file changes its folder's time) and the newest two. No earlier look: all.
struct DayFolderTime {
    std::string day;
    std::int64_t mtime_ns = 0;
};
std::vector<std::string> DaysToCheck(const std::vector<DayFolderTime>& days,
                                     std::optional<std::int64_t> last_look_ns);

// What retention removed, as deletions on the remote: only names that
// publishing could have sent, pages first (no page there may link a picture
// already gone), and the day's folder last (removed there only when empty).
struct Deletion {
    std::string path;
    bool folder = false;
    bool operator==(const Deletion&) const = default;
};
std::vector<Deletion> PlanDeletions(const std::vector<std::string>& removed, const std::string& day,
                                    const DiaryLayout& layout);

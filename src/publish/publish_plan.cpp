#include "publish/publish_plan.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "diary/layout/diary_names.h"
#include "publish/publish_names.h"

namespace {

// A folder changed this long before the last look still gets looked at
// again (its time and our clock may differ a little).
constexpr std::int64_t kFolderSlackNs = 60'000'000'000;

}  // namespace

bool NeedsSending(const LocalFile& local, const RemoteEntry* remote, bool exact_times,
                  std::int64_t precision_ns) {
    if (!remote) return true;
    if (remote->is_dir) return false;
    if (remote->size != local.stamp.size) return true;
    // Only an older copy is replaced: a newer one is someone else's doing.
    return exact_times &&
           local.stamp.mtime_ns - remote->mtime_ns > std::max<std::int64_t>(precision_ns, 1);
}

std::vector<PlanAction> PlanFolder(const FolderPlanInput& in) {
    std::vector<PlanAction> plan;
    const std::string prefix = in.folder.empty() ? std::string() : in.folder + "/";
    std::map<std::string, const RemoteEntry*> remote;
    for (const RemoteEntry& e : in.remote) {
        if (e.is_dir) continue;
        const std::string final_name = FinalNameOfPartial(e.name);
        if (final_name.empty()) {
            remote[e.name] = &e;
        } else if (IsPublishedPath(prefix + final_name, in.layout)) {
            // Only partial uploads of our own names: another name is not ours.
            plan.push_back({PlanStep::kDelete, e.name});
        }
    }
    const std::string& page = in.folder.empty() ? in.layout.index_page : in.layout.day_page;
    std::optional<PlanAction> page_action;
    for (const LocalFile& local : in.local) {
        const auto found = remote.find(local.name);
        const RemoteEntry* there = found == remote.end() ? nullptr : found->second;
        const bool needed = NeedsSending(local, there, in.exact_times, in.precision_ns);
        if (!page.empty() && local.name == page) {
            // Where the remote keeps no times, a page of the same size may
            // still differ: the index page and the newest day's go anyway.
            const bool refresh = !in.exact_times && (in.folder.empty() || in.newest_day);
            page_action = {needed    ? PlanStep::kSendPage
                           : refresh ? PlanStep::kRefreshPage
                                     : PlanStep::kPageCurrent,
                           local.name};
        } else if (needed) {
            // A copy there is replaced; a missing one may have gone
            // meanwhile (a page's look at its links) and is not sent twice.
            plan.push_back({there ? PlanStep::kReplace : PlanStep::kSend, local.name});
        }
    }
    if (page_action) plan.push_back(*page_action);
    return plan;
}

std::size_t WaitingCount(const std::vector<PlanAction>& plan) {
    return static_cast<std::size_t>(
        std::count_if(plan.begin(), plan.end(), [](const PlanAction& a) {
            return a.step == PlanStep::kSend || a.step == PlanStep::kReplace ||
                   a.step == PlanStep::kSendPage;
        }));
}

std::vector<std::string> DaysToCheck(const std::vector<DayFolderTime>& days,
                                     std::optional<std::int64_t> last_look_ns) {
    std::vector<std::string> chosen;
    for (std::size_t i = 0; i < days.size(); ++i) {
        if (!last_look_ns || i < 2 || days[i].mtime_ns >= *last_look_ns - kFolderSlackNs)
            chosen.push_back(days[i].day);
    }
    return chosen;
}

std::vector<Deletion> PlanDeletions(const std::vector<std::string>& removed, const std::string& day,
                                    const DiaryLayout& layout) {
    std::vector<Deletion> page_deletions, others;
    for (const std::string& file : removed) {
        const std::string path = std::filesystem::path(file).lexically_normal().generic_string();
        if (path.empty() || path.starts_with('/') || path.starts_with("..") ||
            !IsPublishedPath(path, layout)) {
            continue;
        }
        const std::string name = path.substr(path.rfind('/') + 1);
        const bool page = name == layout.day_page || name == layout.index_page;
        (page ? page_deletions : others).push_back({path, false});
    }
    page_deletions.insert(page_deletions.end(), others.begin(), others.end());
    if (IsDayDirectoryName(day)) page_deletions.push_back({day, true});
    return page_deletions;
}

#include "publish/diary_publisher.h"

#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "diary/layout/diary_names.h"
#include "publish/publish_names.h"
#include "publish/publish_settings.h"
#include "settings/shared_settings.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

constexpr std::size_t kRemoteDaysKept = 4;
constexpr std::size_t kMaxDeletions = 200000;
constexpr std::chrono::seconds kSettingsPoll{10};
constexpr milliseconds kWakeBudget{1000};
constexpr std::size_t kMaxPageBytes = 64 << 20;
constexpr const char* kIdentityFile = "diary-identity";

std::int64_t WallNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

std::int64_t MtimeNs(const struct stat& st) {
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

std::pair<std::string, std::string> SplitPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {std::string(), path};
    return {path.substr(0, slash), path.substr(slash + 1)};
}

std::string Trimmed(const std::string& s) {
    const std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

std::string AbsoluteFolder(const std::string& folder) {
    std::error_code ec;
    std::string absolute = fs::absolute(fs::path(folder), ec).lexically_normal().string();
    if (ec || absolute.empty()) return {};
    if (absolute.back() != '/') absolute += '/';
    return absolute;
}

const LocalFile* Find(const std::vector<LocalFile>& files, const std::string& name) {
    for (const LocalFile& f : files) {
        if (f.name == name) return &f;
    }
    return nullptr;
}

}  // namespace

DiaryPublisher::DiaryPublisher(DiaryJobContext context, DiaryPublisherOptions options)
    : context_(std::move(context)),
      options_(std::move(options)),
      connection_({[this](const char* text, const std::string& about) { Say(text, about); },
                   [this] { return Now(); }, [this] { WentDown(); }}) {}

void RegisterPublishing(const DiaryJobContext& context) {
    RegisterSettingsSection(PublishSettingsSection());
    context.events.Subscribe(std::make_shared<DiaryPublisher>(context));
}

DiaryPublisher::~DiaryPublisher() { connection_.Close(); }

DiaryPublisher::TimePoint DiaryPublisher::Now() const {
    return options_.now ? options_.now() : std::chrono::steady_clock::now();
}

void DiaryPublisher::Say(const char* text, const std::string& about) {
    if (context_.post_line) context_.post_line(TranslatedLogText("DiaryPublisher", text, {about}));
}

void DiaryPublisher::Refresh() {
    const DiarySettings s = context_.settings.Copy();
    const PublishSettings& publish = s.Section<PublishSettings>();
    Config c;
    c.remote = {options_.rclone, Trimmed(publish.REMOTE), Trimmed(publish.RCLONE_CONFIG),
                Trimmed(publish.BWLIMIT)};
    // The folder and the page names as the store uses them: a relative
    // folder is the settings folder's, a page name with a path the default.
    c.layout = DiaryLayout::Of(s);
    if (!c.layout.save_folder.empty()) c.save = AbsoluteFolder(c.layout.save_folder);
    c.layout.save_folder = c.save;
    c.page_interval_s = std::clamp(publish.PAGE_INTERVAL_SECOND, 0, 86400);
    if (!s.settings_folder.empty()) c.identity_file = s.settings_folder + kIdentityFile;
    Check(c);
    if (c == config_) return;
    const bool remote_changed = !(c.remote == config_.remote);
    const bool tree_changed = c.save != config_.save || !(c.layout == config_.layout);
    const bool identity_changed = c.identity_file != config_.identity_file;
    config_ = std::move(c);
    pages_.SetInterval(config_.page_interval_s);
    // Said once for each value that is refused.
    if (config_.refusal) Say(config_.refusal, config_.refused);
    if (remote_changed || identity_changed) marked_ = foreign_ = false;
    if (remote_changed) {
        connection_.Reset(config_.remote);
        remote_days_.clear();
        remote_days_order_.clear();
    }
    if (remote_changed || tree_changed) {
        catch_up_due_ = true;
        catch_up_.reset();
        last_catch_up_started_ns_.reset();
        pages_.ForgetSent();
    }
}

void DiaryPublisher::Check(Config& c) {
    const std::string& remote = c.remote.remote;
    if (remote.empty() || c.save.empty()) return;
    // A plain word (no "name:") would be a folder under whatever the
    // working folder is; a local path must lie outside the save folder,
    // which it would otherwise copy into itself.
    if (remote.starts_with('/')) {
        // Through links too: the same folder by another name is the same.
        const auto resolved = [](const std::string& path) {
            std::error_code ec;
            const fs::path real = fs::weakly_canonical(fs::path(path), ec);
            return AbsoluteFolder(ec ? path : real.string());
        };
        if (resolved(remote).starts_with(resolved(c.save))) {
            c.refusal = kRemoteIsSaveFolderLine;
            c.refused = remote;
            return;
        }
    } else if (remote.find(':') == std::string::npos) {
        c.refusal = kRemoteNotRemoteLine;
        c.refused = remote;
        return;
    }
    // rclone reads a missing file as empty and a device without end forever.
    if (const std::string& config = c.remote.rclone_config; !config.empty()) {
        struct stat st {};
        std::string why;
        if (::stat(config.c_str(), &st) != 0) {
            why = std::strerror(errno);
        } else if (!S_ISREG(st.st_mode)) {
            why = "not a regular file";
        } else if (::access(config.c_str(), R_OK) != 0) {
            why = std::strerror(errno);
        }
        if (!why.empty()) {
            c.refusal = kRcloneConfigLine;
            c.refused = config + ": " + why;
        }
    }
}

bool DiaryPublisher::Prepare(const AbortFn& abort) {
    Refresh();
    if (!config_.On()) {
        connection_.Close();
        return false;
    }
    if (foreign_) return false;
    return connection_.Open(abort) && Mark(abort);
}

bool DiaryPublisher::Mark(const AbortFn& abort) {
    if (marked_ || config_.identity_file.empty()) return true;
    std::string why;
    const std::string identity = DiaryIdentity(config_.identity_file, why);
    if (identity.empty()) {
        Say(kIdentityFailedLine, why);
        foreign_ = true;
        connection_.Close();
        return false;
    }
    std::vector<RemoteEntry> top;
    const PublishTarget::Result listed = connection_.Target().List("", top, abort);
    if (!listed.Done() && listed.outcome != PublishTarget::Outcome::kNotFound) {
        Failed(listed);
        return false;
    }
    std::string another;
    const MarkState state = ReadMark(top, identity, another);
    if (state == MarkState::kAnother) {
        Say(kRemoteOfAnotherDiaryLine,
            connection_.Masked(config_.remote.remote) + " (" + another + ")");
        foreign_ = true;
        connection_.Close();
        return false;
    }
    if (state == MarkState::kNone) {
        const std::string mark = MarkName(identity);
        const Stamp now{0, WallNs()};
        if (!scratch_.Write(mark, identity + "\n", now, why)) {
            if (!scratch_failed_said_) Say(kScratchFailedLine, why);
            scratch_failed_said_ = true;
            return false;
        }
        const PublishTarget::Result sent =
            connection_.Target().Upload(scratch_.Path(why), mark, mark, abort);
        ::unlink((scratch_.Path(why) + mark).c_str());
        if (!sent.Done()) {
            if (!sent.partial.empty()) leftovers_.insert(sent.partial);
            Failed(sent);
            return false;
        }
    }
    marked_ = true;
    return true;
}

void DiaryPublisher::Wrote() {
    if (connection_.Wrote()) Say(kRemoteBackLine, std::to_string(waiting_said_));
}

void DiaryPublisher::WentDown() {
    // What the remote holds is looked at again when it is back.
    catch_up_.reset();
    catch_up_due_ = true;
    remote_days_.clear();
    remote_days_order_.clear();
}

std::string DiaryPublisher::RelativeToSave(const std::string& save_directory,
                                           const std::string& path) const {
    if (save_directory.empty() || !path.starts_with(save_directory)) return {};
    // A store into a folder that the settings no longer name is not ours.
    if (AbsoluteFolder(save_directory) != config_.save) return {};
    const std::string relative = path.substr(save_directory.size());
    return IsPublishedPath(relative, config_.layout) ? relative : std::string();
}

bool DiaryPublisher::SendMedia(const std::string& path, const AbortFn& abort, bool replace) {
    const auto [folder, name] = SplitPath(path);
    const std::string local_folder = config_.save + (folder.empty() ? "" : folder + "/");
    // Gone meanwhile (retention): nothing to send.
    const Stamp stamp = StampOf(local_folder + name);
    if (stamp.size < 0) return true;
    // This very file went already (a page's look at its links came before
    // its event): sending it again would take it away on the remote for a
    // moment, as rclone deletes a file before it moves another onto it. A
    // picture stored again under the same name (two in one second) goes.
    const auto day = remote_days_.find(folder);
    if (!replace && day != remote_days_.end()) {
        const auto known = day->second.find(name);
        if (known != day->second.end() &&
            (known->second.mtime_ns < 0 ? known->second.size == stamp.size
                                        : known->second == stamp)) {
            return true;
        }
    }
    const PublishTarget::Result result =
        connection_.Target().Upload(local_folder, name, path, abort);
    if (result.Done()) {
        Wrote();
        pages_.MediaSent(static_cast<std::uint64_t>(stamp.size));
        if (day != remote_days_.end()) day->second[name] = stamp;
        return true;
    }
    if (!result.partial.empty()) leftovers_.insert(result.partial);
    if (result.outcome == PublishTarget::Outcome::kAborted) return false;
    if (result.outcome == PublishTarget::Outcome::kNotFound ||
        StampOf(local_folder + name).size < 0) {
        return true;
    }
    Failed(result);
    return false;
}

bool DiaryPublisher::LoadRemoteDay(const std::string& day, const AbortFn& abort) {
    if (remote_days_.contains(day)) {
        std::erase(remote_days_order_, day);
        remote_days_order_.push_back(day);
        return true;
    }
    std::vector<RemoteEntry> entries;
    const PublishTarget::Result result = connection_.Target().List(day, entries, abort);
    if (!result.Done() && result.outcome != PublishTarget::Outcome::kNotFound) {
        Failed(result);
        return false;
    }
    RememberDay(day, entries);
    return true;
}

void DiaryPublisher::RememberDay(const std::string& day, const std::vector<RemoteEntry>& entries) {
    // A listing tells sizes, not the local times of what was sent.
    std::map<std::string, Stamp> files;
    for (const RemoteEntry& e : entries) {
        if (!e.is_dir && FinalNameOfPartial(e.name).empty()) files[e.name] = {e.size, -1};
    }
    remote_days_.erase(day);
    std::erase(remote_days_order_, day);
    remote_days_[day] = std::move(files);
    remote_days_order_.push_back(day);
    while (remote_days_order_.size() > kRemoteDaysKept) {
        remote_days_.erase(remote_days_order_.front());
        remote_days_order_.pop_front();
    }
}

bool DiaryPublisher::EnsureOnRemote(const std::string& path, const AbortFn& abort) {
    const auto [day, name] = SplitPath(path);
    if (!LoadRemoteDay(day, abort)) return false;
    if (remote_days_[day].contains(name)) return true;
    return SendMedia(path, abort);
}

bool DiaryPublisher::SendPage(const std::string& path, const AbortFn& abort) {
    std::string content;
    Stamp stamp;
    if (!ReadWholeFile(config_.save + path, kMaxPageBytes, content, stamp)) return true;
    for (const std::string& media : LinkedMedia(content, path)) {
        if (!EnsureOnRemote(media, abort)) return false;
    }
    const std::string name = SplitPath(path).second;
    std::string why;
    if (!scratch_.Write(name, content, stamp, why)) {
        if (!scratch_failed_said_) Say(kScratchFailedLine, why);
        scratch_failed_said_ = true;
        return true;
    }
    const std::string scratch = scratch_.Path(why);
    const PublishTarget::Result result = connection_.Target().Upload(scratch, name, path, abort);
    ::unlink((scratch + name).c_str());
    if (!result.partial.empty()) leftovers_.insert(result.partial);
    if (result.Done()) {
        Wrote();
        pages_.Sent(path, stamp);
        return true;
    }
    Failed(result);
    return false;
}

bool DiaryPublisher::SendPages(const std::vector<std::string>& extra, bool all,
                               const AbortFn& abort) {
    const std::vector<std::string> pages =
        pages_.Round(extra, all, Now(),
                     [this](const std::string& page) { return StampOf(config_.save + page); });
    for (const std::string& page : pages) {
        if (!SendPage(page, abort)) return false;
    }
    return true;
}

void DiaryPublisher::QueueDeletions(const DayDeleted& deleted) {
    if (AbsoluteFolder(deleted.save_directory) != config_.save) return;
    for (Deletion& d : PlanDeletions(deleted.files, deleted.day_name, config_.layout)) {
        if (deletions_.size() >= kMaxDeletions) {
            if (!deletions_dropped_said_) Say(kDeletionsDroppedLine, d.path);
            deletions_dropped_said_ = true;
            break;
        }
        deletions_.push_back(std::move(d));
    }
}

bool DiaryPublisher::RunDeletions(const AbortFn& abort) {
    while (!deletions_.empty()) {
        const Deletion& d = deletions_.front();
        if (d.folder) {
            struct stat st {};
            // Whatever the answer (a folder with a user's file in it stays).
            if (::lstat((config_.save + d.path).c_str(), &st) != 0) {
                const PublishTarget::Result result =
                    connection_.Target().RemoveEmptyFolder(d.path, abort);
                if (result.outcome == PublishTarget::Outcome::kAborted) return false;
            }
            remote_days_.erase(d.path);
            std::erase(remote_days_order_, d.path);
        } else {
            const PublishTarget::Result result = connection_.Target().Delete(d.path, abort);
            if (!result.Done()) {
                Failed(result);
                return false;
            }
            Wrote();
            const auto [day, name] = SplitPath(d.path);
            if (const auto known = remote_days_.find(day); known != remote_days_.end())
                known->second.erase(name);
        }
        deletions_.pop_front();
    }
    return true;
}

bool DiaryPublisher::DeleteLeftovers(const std::string& folder, const std::vector<PlanAction>& plan,
                                     const AbortFn& abort) {
    const std::string prefix = folder.empty() ? std::string() : folder + "/";
    for (const PlanAction& a : plan) {
        if (a.step != PlanStep::kDelete) continue;
        const PublishTarget::Result result = connection_.Target().Delete(prefix + a.name, abort);
        if (!result.Done()) {
            Failed(result);
            return false;
        }
    }
    return true;
}

bool DiaryPublisher::Carry(const std::string& folder, const PlanAction& action,
                           const std::vector<LocalFile>& local, const AbortFn& abort) {
    const std::string path = folder.empty() ? action.name : folder + "/" + action.name;
    switch (action.step) {
        case PlanStep::kSend:
        case PlanStep::kReplace:
            // The save folder's own (the style sheet) always replaces.
            return SendMedia(path, abort, action.step == PlanStep::kReplace || folder.empty());
        case PlanStep::kSendPage:
        case PlanStep::kRefreshPage:
            return SendPage(path, abort);
        case PlanStep::kPageCurrent:
            // The remote's is this one: nothing to send at the stop either.
            if (const LocalFile* file = Find(local, action.name)) pages_.Current(path, file->stamp);
            return true;
        case PlanStep::kDelete:
            return true;  // done when the folder was opened
    }
    return true;
}

bool DiaryPublisher::OpenDay(CatchUp& c, const AbortFn& abort) {
    const std::string& day = c.days[c.next_day];
    FolderPlanInput input;
    input.folder = day;
    if (c.remote_days.contains(day)) {
        const PublishTarget::Result result = connection_.Target().List(day, input.remote, abort);
        if (!result.Done() && result.outcome != PublishTarget::Outcome::kNotFound) {
            Failed(result);
            return false;
        }
    }
    input.local = LocalFolder(config_.layout, day);
    input.layout = config_.layout;
    input.exact_times = connection_.ExactTimes();
    input.precision_ns = connection_.Target().PrecisionNs();
    input.newest_day = day == c.newest_day;
    std::vector<PlanAction> plan = PlanFolder(input);
    if (!DeleteLeftovers(day, plan, abort)) return false;
    RememberDay(day, input.remote);
    for (const PlanAction& a : plan) {
        if (a.step == PlanStep::kPageCurrent) Carry(day, a, input.local, abort);
    }
    if (c.counting) {
        c.waiting += WaitingCount(plan);
        ++c.next_day;
        return true;
    }
    c.day_local = std::move(input.local);
    c.day_plan = std::move(plan);
    c.next_action = 0;
    c.day_open = true;
    return true;
}

DiaryPublisher::Step DiaryPublisher::CatchUpStep(const AbortFn& abort) {
    if (!catch_up_) {
        CatchUp c;
        c.counting = connection_.Down();
        c.started_ns = WallNs();
        catch_up_ = std::move(c);
    }
    CatchUp& c = *catch_up_;
    if (!c.root_done) {
        const std::vector<std::string> all = ListPublishedDays(config_.layout);
        c.newest_day = all.empty() ? std::string() : all.front();
        std::vector<DayFolderTime> times;
        for (const std::string& day : all) {
            struct stat st {};
            times.push_back(
                {day, ::lstat((config_.save + day).c_str(), &st) == 0 ? MtimeNs(st) : 0});
        }
        c.days = DaysToCheck(times, last_catch_up_started_ns_);
        FolderPlanInput input;
        const PublishTarget::Result result = connection_.Target().List("", input.remote, abort);
        if (!result.Done() && result.outcome != PublishTarget::Outcome::kNotFound) {
            Failed(result);
            return Step::kStopped;
        }
        input.local = LocalFolder(config_.layout, "");
        input.layout = config_.layout;
        input.exact_times = connection_.ExactTimes();
        input.precision_ns = connection_.Target().PrecisionNs();
        c.root_plan = PlanFolder(input);
        c.root_local = std::move(input.local);
        if (!DeleteLeftovers("", c.root_plan, abort)) return Step::kStopped;
        for (const RemoteEntry& e : input.remote) {
            if (e.is_dir && IsDayDirectoryName(e.name)) c.remote_days.insert(e.name);
        }
        c.root_done = true;
        if (c.counting) {
            c.waiting += WaitingCount(c.root_plan);
            return Step::kProgress;
        }
        // The style sheet before the pages that use it.
        for (const PlanAction& a : c.root_plan) {
            if ((a.step == PlanStep::kSend || a.step == PlanStep::kReplace) &&
                !Carry("", a, c.root_local, abort)) {
                return Step::kStopped;
            }
        }
        return Step::kProgress;
    }
    if (c.day_open) {
        const std::string& day = c.days[c.next_day];
        while (c.next_action < c.day_plan.size()) {
            const PlanAction& a = c.day_plan[c.next_action++];
            if (a.step == PlanStep::kDelete || a.step == PlanStep::kPageCurrent) continue;
            if (!Carry(day, a, c.day_local, abort)) return Step::kStopped;
            return Step::kProgress;
        }
        c.day_open = false;
        ++c.next_day;
        return Step::kProgress;
    }
    if (c.next_day < c.days.size()) {
        return OpenDay(c, abort) ? Step::kProgress : Step::kStopped;
    }
    if (c.counting) {
        // Counted: said, and then the same look again, sending. A remote
        // that refused is back only once a file went.
        waiting_said_ = c.waiting;
        if (connection_.Back()) Say(kRemoteBackLine, std::to_string(c.waiting));
        CatchUp again;
        again.started_ns = c.started_ns;
        c = std::move(again);
        return Step::kProgress;
    }
    for (const PlanAction& a : c.root_plan) {
        if ((a.step == PlanStep::kSendPage || a.step == PlanStep::kRefreshPage ||
             a.step == PlanStep::kPageCurrent) &&
            !Carry("", a, c.root_local, abort)) {
            return Step::kStopped;
        }
    }
    last_catch_up_started_ns_ = c.started_ns;
    catch_up_.reset();
    leftovers_.clear();
    catch_up_due_ = false;
    connection_.Back();
    return Step::kDone;
}

void DiaryPublisher::Begin(const StopSignal&) {
    // Named as the diary's job threads are once lowered (top, ps).
    ::pthread_setname_np(::pthread_self(), "diary job");
    Refresh();
    if (config_.On()) connection_.FindRclone();
}

void DiaryPublisher::Handle(const DiaryEvent& event, const StopSignal& stop) {
    const AbortFn abort = [&stop] { return stop.IsSet(); };
    const auto media_and_pages = [&](const std::string& save_directory, const std::string& path,
                                     const std::vector<std::string>& pages) {
        Refresh();
        if (!config_.On()) return;
        for (const std::string& page : pages) {
            const std::string relative = RelativeToSave(save_directory, page);
            if (!relative.empty()) pages_.Changed(relative, Now());
        }
        const std::string relative = RelativeToSave(save_directory, path);
        // While the remote is away nothing is queued: the look at the save
        // folder when it is back finds the picture (and counts it as waiting).
        if (!relative.empty() && !connection_.Down() && Prepare(abort)) SendMedia(relative, abort);
    };
    if (const auto* stored = std::get_if<PictureStored>(&event)) {
        media_and_pages(stored->save_directory, stored->path, stored->pages);
    } else if (const auto* video = std::get_if<DayVideoMade>(&event)) {
        media_and_pages(video->save_directory, video->path, video->pages);
    } else if (const auto* deleted = std::get_if<DayDeleted>(&event)) {
        Refresh();
        if (!config_.On()) return;
        QueueDeletions(*deleted);
        if (Prepare(abort)) RunDeletions(abort);
    }
}

std::optional<std::chrono::milliseconds> DiaryPublisher::NextWake() {
    if (!config_.On() || !connection_.HasRclone() || foreign_) return kSettingsPoll;
    // Rounded up: a wake a little early would find nothing due.
    const auto until = [this](TimePoint when) {
        if (when == TimePoint::min()) return milliseconds(0);
        return std::max(milliseconds(0), std::chrono::ceil<milliseconds>(when - Now()));
    };
    if (connection_.Pausing()) return until(connection_.RetryAt());
    if (catch_up_due_ || catch_up_ || !deletions_.empty()) return milliseconds(0);
    if (const std::optional<TimePoint> round = pages_.NextRound())
        return std::min<milliseconds>(kSettingsPoll, until(*round));
    return kSettingsPoll;
}

void DiaryPublisher::Wake(const StopSignal& stop) {
    const AbortFn abort = [&stop] { return stop.IsSet(); };
    if (!Prepare(abort)) return;
    if (!RunDeletions(abort)) return;
    // A share of work at a time, so that the events waiting meanwhile (the
    // newest pictures) are not held up by a long look at the save folder.
    const TimePoint budget_end = Now() + kWakeBudget;
    while ((catch_up_due_ || catch_up_) && !stop.IsSet()) {
        const Step step = CatchUpStep(abort);
        if (step == Step::kStopped) return;
        if (step == Step::kDone || Now() >= budget_end) break;
    }
    // Back from an outage, the look at the save folder counts what waited
    // before anything goes.
    if (!connection_.Down() && pages_.RoundDue(Now())) SendPages({}, false, abort);
}

void DiaryPublisher::End(const StopSignal&) {
    // The stop is set: the pages get a short time of their own, and what
    // does not make it goes with the next start's look at the save folder.
    const auto deadline = std::chrono::steady_clock::now() + kEndBudget;
    const AbortFn abort = [deadline] { return std::chrono::steady_clock::now() >= deadline; };
    if (config_.On() && !connection_.Pausing() && connection_.Connected() &&
        connection_.DaemonRunning()) {
        // Also the pages of a last picture whose event the stop dropped.
        std::vector<std::string> extra;
        if (!config_.layout.index_page.empty()) extra.push_back(config_.layout.index_page);
        const std::vector<std::string> days = ListPublishedDays(config_.layout);
        if (!days.empty() && !config_.layout.day_page.empty())
            extra.push_back(days.front() + "/" + config_.layout.day_page);
        SendPages(extra, true, abort);
        // Uploads the stop cut off (their names are ours; one that did get
        // moved into place is not there any more).
        for (auto it = leftovers_.begin(); it != leftovers_.end() && !abort();) {
            if (connection_.Target().Delete(*it, abort).Done()) {
                it = leftovers_.erase(it);
            } else {
                ++it;
            }
        }
    }
    connection_.Close();
}

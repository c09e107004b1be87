#include "publish/diary_publisher.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "diary/layout/diary_layout.h"
#include "diary/layout/diary_names.h"
#include "publish/publish_names.h"
#include "publish/publish_settings.h"
#include "publish/remote_secrets.h"
#include "settings/shared_settings.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

constexpr std::size_t kRemoteDaysKept = 4;
constexpr std::size_t kMaxDeletions = 200000;
constexpr std::chrono::seconds kSettingsPoll{10};
constexpr milliseconds kWakeBudget{1000};
constexpr std::int64_t kMaxPageBytes = 64 << 20;
constexpr std::size_t kMaxErrorText = 400;
// A folder changed this long before the last look still gets looked at
// again (its time and our clock may differ a little).
constexpr std::int64_t kFolderSlackNs = 60'000'000'000;
constexpr const char* kScratchPrefix = "quillomat-publish-";

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

// rclone's errors can run over several lines: one line, of reasonable length.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    }
    text = Trimmed(text);
    if (text.size() > kMaxErrorText) text = text.substr(0, kMaxErrorText) + "...";
    return text;
}

// Removes scratch folders that killed runs of ours left behind.
void SweepScratch(const std::string& tmp) {
    std::error_code ec;
    for (fs::directory_iterator it(tmp, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(kScratchPrefix)) continue;
        const long pid = std::strtol(name.c_str() + std::strlen(kScratchPrefix), nullptr, 10);
        struct stat st {};
        if (pid <= 0 || ::lstat(it->path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != ::getuid()) {
            continue;
        }
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            std::error_code remove_ec;
            fs::remove_all(it->path(), remove_ec);
        }
    }
}

}  // namespace

DiaryPublisher::DiaryPublisher(DiaryJobContext context, DiaryPublisherOptions options)
    : context_(std::move(context)), options_(std::move(options)) {}

void RegisterPublishing(const DiaryJobContext& context) {
    RegisterSettingsSection(PublishSettingsSection());
    context.events.Subscribe(std::make_shared<DiaryPublisher>(context));
}

DiaryPublisher::~DiaryPublisher() {
    Shutdown();
    if (!scratch_.empty()) {
        std::error_code ec;
        fs::remove_all(scratch_, ec);
    }
}

DiaryPublisher::TimePoint DiaryPublisher::Now() const {
    return options_.now ? options_.now() : std::chrono::steady_clock::now();
}

void DiaryPublisher::Say(const char* text, const std::string& about) {
    if (context_.post_line) context_.post_line(TranslatedLogText("DiaryPublisher", text, {about}));
}

std::string DiaryPublisher::Masked(const std::string& text) const {
    return MaskSecrets(OneLine(text), config_.remote);
}

void DiaryPublisher::Refresh() {
    const DiarySettings s = context_.settings.Copy();
    const PublishSettings& publish = s.Section<PublishSettings>();
    Config c;
    c.remote = Trimmed(publish.REMOTE);
    c.rclone_config = Trimmed(publish.RCLONE_CONFIG);
    c.bwlimit = Trimmed(publish.BWLIMIT);
    // The folder and the page names as the store uses them: a relative
    // folder is the settings folder's, a page name with a path the default.
    const DiaryLayout layout = DiaryLayout::Of(s);
    if (const std::string& save = layout.save_folder; !save.empty()) {
        std::error_code ec;
        c.save = fs::absolute(fs::path(save), ec).lexically_normal().string();
        if (ec) c.save.clear();
        if (!c.save.empty() && c.save.back() != '/') c.save += '/';
    }
    c.index_page = layout.index_page;
    c.day_page = layout.day_page;
    c.page_interval_s = std::clamp(publish.PAGE_INTERVAL_SECOND, 0, 86400);
    if (c == config_) return;
    const bool remote_changed = c.remote != config_.remote ||
                                c.rclone_config != config_.rclone_config ||
                                c.bwlimit != config_.bwlimit;
    const bool tree_changed = c.save != config_.save || c.index_page != config_.index_page ||
                              c.day_page != config_.day_page;
    config_ = std::move(c);
    if (remote_changed) {
        Shutdown();
        down_ = pausing_ = false;
        backoff_ = std::chrono::seconds(0);
        remote_days_.clear();
        remote_days_order_.clear();
    }
    if (remote_changed || tree_changed) {
        catch_up_due_ = true;
        catch_up_.reset();
        last_catch_up_started_ns_.reset();
        sent_pages_.clear();
    }
}

void DiaryPublisher::Shutdown() {
    target_.reset();
    if (daemon_) daemon_->Stop();
    daemon_.reset();
    connected_ = false;
}

bool DiaryPublisher::Prepare(const AbortFn& abort) {
    Refresh();
    if (config_.remote.empty() || config_.save.empty()) {
        if (daemon_) Shutdown();
        return false;
    }
    if (pausing_ && Now() < retry_at_) return false;
    if (!daemon_ || !daemon_->Running()) {
        target_.reset();
        connected_ = false;
        rclone_path_ = FindOnPath(options_.rclone);
        if (rclone_path_.empty()) {
            if (!rclone_missing_said_) Say(kRcloneMissingLine);
            rclone_missing_said_ = true;
            return false;
        }
        daemon_ = std::make_unique<RcloneDaemon>();
        std::string error;
        if (!daemon_->Start({rclone_path_, config_.rclone_config, config_.bwlimit}, abort,
                            &error)) {
            daemon_.reset();
            if (abort && abort()) return false;
            GoDown(kRcloneFailedLine, Masked(error));
            return false;
        }
        target_ = std::make_unique<PublishTarget>(*daemon_, config_.remote);
    }
    if (!connected_) {
        const PublishTarget::Result result = target_->Connect(abort);
        if (!result.Done()) {
            Failed(result);
            return false;
        }
        connected_ = true;
        exact_times_ = target_->ExactTimes();
    }
    pausing_ = false;
    return true;
}

void DiaryPublisher::GoDown(const char* text, const std::string& about) {
    if (!down_) Say(text, about);
    down_ = true;
    pausing_ = true;
    backoff_ = backoff_.count() == 0 ? kFirstRetry : std::min(backoff_ * 2, kLongestRetry);
    retry_at_ = Now() + backoff_;
    connected_ = false;
    // What the remote holds is looked at again when it is back.
    catch_up_.reset();
    catch_up_due_ = true;
    remote_days_.clear();
    remote_days_order_.clear();
}

void DiaryPublisher::Failed(const PublishTarget::Result& result) {
    if (result.outcome == PublishTarget::Outcome::kAborted) return;
    if (daemon_ && !daemon_->Running()) {
        GoDown(kRcloneFailedLine, Masked(daemon_->RecentOutput()));
        return;
    }
    GoDown(kRemoteGoneLine, Masked(result.error));
}

bool DiaryPublisher::IsPublished(const std::string& path) const {
    return IsPublishedPath(path, {config_.save, config_.day_page, config_.index_page});
}

std::string DiaryPublisher::RelativeToSave(const std::string& save_directory,
                                           const std::string& path) const {
    if (save_directory.empty() || !path.starts_with(save_directory)) return {};
    std::error_code ec;
    std::string save = fs::absolute(fs::path(save_directory), ec).lexically_normal().string();
    if (ec) return {};
    if (save.back() != '/') save += '/';
    // A store into a folder that the settings no longer name is not ours.
    if (save != config_.save) return {};
    const std::string relative = path.substr(save_directory.size());
    return IsPublished(relative) ? relative : std::string();
}

std::vector<DiaryPublisher::LocalFile> DiaryPublisher::LocalFolder(
    const std::string& folder) const {
    std::vector<LocalFile> files;
    for (PublishedFile& file :
         ListPublishedFiles({config_.save, config_.day_page, config_.index_page}, folder)) {
        files.push_back({std::move(file.name), {file.size, file.mtime_ns}});
    }
    return files;
}

bool DiaryPublisher::NeedsSending(const LocalFile& local, const RemoteEntry* remote) const {
    if (!remote) return true;
    if (remote->is_dir) return false;
    if (remote->size != local.stamp.size) return true;
    // Only an older copy is replaced: a newer one is someone else's doing.
    return exact_times_ && local.stamp.mtime_ns - remote->mtime_ns >
                               std::max<std::int64_t>(target_->PrecisionNs(), 1);
}

bool DiaryPublisher::SendMedia(const std::string& path, const AbortFn& abort, bool replace) {
    const auto [folder, name] = SplitPath(path);
    const std::string local_folder = config_.save + (folder.empty() ? "" : folder + "/");
    const auto present = [&] {
        struct stat st {};
        return ::lstat((local_folder + name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
    };
    // Gone meanwhile (retention): nothing to send.
    struct stat st {};
    if (::lstat((local_folder + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return true;
    const Stamp stamp{static_cast<std::int64_t>(st.st_size), MtimeNs(st)};
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
    const PublishTarget::Result result = target_->Upload(local_folder, name, path, abort);
    if (result.Done()) {
        media_bytes_sent_ += static_cast<std::uint64_t>(st.st_size);
        if (day != remote_days_.end()) day->second[name] = stamp;
        return true;
    }
    if (!result.partial.empty()) leftovers_.insert(result.partial);
    if (result.outcome == PublishTarget::Outcome::kAborted) return false;
    if (result.outcome == PublishTarget::Outcome::kNotFound || !present()) return true;
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
    const PublishTarget::Result result = target_->List(day, entries, abort);
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
    // The page as it is now, read once: the links checked below and the bytes
    // sent are the same even if the diary rewrites it meanwhile.
    const int fd = ::open((config_.save + path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return true;
    struct stat st {};
    std::string content;
    bool whole = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxPageBytes;
    if (whole) {
        content.resize(static_cast<std::size_t>(st.st_size));
        std::size_t got = 0;
        while (got < content.size()) {
            const ssize_t n = ::read(fd, content.data() + got, content.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        whole = got == content.size();
    }
    ::close(fd);
    if (!whole) return true;
    for (const std::string& media : LinkedMedia(content, path)) {
        if (!EnsureOnRemote(media, abort)) return false;
    }
    const std::string scratch = Scratch();
    if (scratch.empty()) return true;
    const std::string name = SplitPath(path).second;
    const std::string copy = scratch + name;
    const int out = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool written = out >= 0;
    for (std::size_t put = 0; written && put < content.size();) {
        const ssize_t n = ::write(out, content.data() + put, content.size() - put);
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        if (written) put += static_cast<std::size_t>(n);
    }
    if (written) {
        const timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(out, times);
    }
    if (out >= 0) ::close(out);
    if (!written) {
        if (!scratch_failed_said_) Say(kScratchFailedLine, copy + ": " + std::strerror(errno));
        scratch_failed_said_ = true;
        ::unlink(copy.c_str());
        return true;
    }
    const PublishTarget::Result result = target_->Upload(scratch, name, path, abort);
    ::unlink(copy.c_str());
    if (!result.partial.empty()) leftovers_.insert(result.partial);
    if (result.Done()) {
        sent_pages_[path] = {{static_cast<std::int64_t>(st.st_size), MtimeNs(st)},
                             media_bytes_sent_};
        return true;
    }
    Failed(result);
    return false;
}

bool DiaryPublisher::PagesDue() const {
    if (dirty_pages_.empty()) return false;
    return !last_page_round_ ||
           Now() >= *last_page_round_ + std::chrono::seconds(config_.page_interval_s);
}

bool DiaryPublisher::WorthSending(const std::string& page, TimePoint dirty_since) const {
    const auto sent = sent_pages_.find(page);
    if (sent == sent_pages_.end()) return true;
    if (Now() - dirty_since >= std::max<std::chrono::seconds>(
                                   kLongestPageWait, std::chrono::seconds(config_.page_interval_s)))
        return true;
    struct stat st {};
    if (::lstat((config_.save + page).c_str(), &st) != 0) return true;
    return media_bytes_sent_ - sent->second.media_bytes >=
           static_cast<std::uint64_t>(kPageWeight) * static_cast<std::uint64_t>(st.st_size);
}

bool DiaryPublisher::SendDirtyPages(const std::vector<std::string>& extra, bool all,
                                    const AbortFn& abort) {
    std::vector<std::string> pages;
    for (const auto& [page, since] : dirty_pages_) {
        if (all || WorthSending(page, since)) pages.push_back(page);
    }
    for (const std::string& page : extra) {
        if (dirty_pages_.contains(page)) continue;
        struct stat st {};
        if (::lstat((config_.save + page).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        const auto sent = sent_pages_.find(page);
        if (sent == sent_pages_.end() ||
            !(sent->second.stamp == Stamp{static_cast<std::int64_t>(st.st_size), MtimeNs(st)})) {
            pages.push_back(page);
        }
    }
    // Day pages before the index page, which links into the days.
    std::stable_partition(pages.begin(), pages.end(),
                          [](const std::string& p) { return p.find('/') != std::string::npos; });
    last_page_round_ = Now();
    for (const std::string& page : pages) {
        if (!SendPage(page, abort)) return false;
        dirty_pages_.erase(page);
    }
    return true;
}

void DiaryPublisher::QueueDeletions(const DayDeleted& deleted) {
    std::error_code ec;
    std::string save =
        fs::absolute(fs::path(deleted.save_directory), ec).lexically_normal().string();
    if (ec || save.empty()) return;
    if (save.back() != '/') save += '/';
    if (save != config_.save) return;
    std::vector<Deletion> pages, others;
    for (const std::string& file : deleted.files) {
        const std::string path = fs::path(file).lexically_normal().generic_string();
        // Only names of the diary's own that publishing could have sent.
        if (path.empty() || path.starts_with('/') || path.starts_with("..") || !IsPublished(path))
            continue;
        const std::string name = SplitPath(path).second;
        const bool page = name == config_.day_page || name == config_.index_page;
        (page ? pages : others).push_back({path, false});
    }
    // Pages first, so that no page on the remote links a picture already gone.
    std::vector<Deletion> all = std::move(pages);
    all.insert(all.end(), others.begin(), others.end());
    if (IsDayDirectoryName(deleted.day_name)) all.push_back({deleted.day_name, true});
    for (Deletion& d : all) {
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
                const PublishTarget::Result result = target_->RemoveEmptyFolder(d.path, abort);
                if (result.outcome == PublishTarget::Outcome::kAborted) return false;
            }
            remote_days_.erase(d.path);
            std::erase(remote_days_order_, d.path);
        } else {
            const PublishTarget::Result result = target_->Delete(d.path, abort);
            if (!result.Done()) {
                Failed(result);
                return false;
            }
            const auto [day, name] = SplitPath(d.path);
            if (const auto known = remote_days_.find(day); known != remote_days_.end())
                known->second.erase(name);
        }
        deletions_.pop_front();
    }
    return true;
}

bool DiaryPublisher::RemoveLeftovers(const std::string& folder,
                                     const std::vector<RemoteEntry>& entries,
                                     const AbortFn& abort) {
    const std::string prefix = folder.empty() ? std::string() : folder + "/";
    for (const RemoteEntry& e : entries) {
        if (e.is_dir) continue;
        const std::string final_name = FinalNameOfPartial(e.name);
        // Only partial uploads of our own names: another name is not ours.
        if (final_name.empty() || !IsPublished(prefix + final_name)) continue;
        const PublishTarget::Result result = target_->Delete(prefix + e.name, abort);
        if (!result.Done()) {
            Failed(result);
            return false;
        }
    }
    return true;
}

std::vector<std::string> DiaryPublisher::DaysToCheck(const std::vector<std::string>& all) const {
    if (!last_catch_up_started_ns_) return all;
    // After an outage in a run that had looked at everything: the folders
    // changed since that look (a new file changes its folder's time), and
    // the newest two whatever their times say.
    std::vector<std::string> days;
    for (std::size_t i = 0; i < all.size(); ++i) {
        struct stat st {};
        const bool changed = ::lstat((config_.save + all[i]).c_str(), &st) == 0 &&
                             MtimeNs(st) >= *last_catch_up_started_ns_ - kFolderSlackNs;
        if (i < 2 || changed) days.push_back(all[i]);
    }
    return days;
}

bool DiaryPublisher::OpenDay(CatchUp& c, const std::string& day, const AbortFn& abort) {
    std::vector<RemoteEntry> entries;
    if (c.remote_days.contains(day)) {
        const PublishTarget::Result result = target_->List(day, entries, abort);
        if (!result.Done() && result.outcome != PublishTarget::Outcome::kNotFound) {
            Failed(result);
            return false;
        }
    }
    if (!RemoveLeftovers(day, entries, abort)) return false;
    std::map<std::string, const RemoteEntry*> remote;
    for (const RemoteEntry& e : entries) {
        if (!e.is_dir && FinalNameOfPartial(e.name).empty()) remote[e.name] = &e;
    }
    RememberDay(day, entries);
    c.to_send.clear();
    c.next_file = 0;
    c.page_due = false;
    for (const LocalFile& local : LocalFolder(day)) {
        const auto found = remote.find(local.name);
        const bool needed = NeedsSending(local, found == remote.end() ? nullptr : found->second);
        if (local.name == config_.day_page) {
            // Where the remote keeps no times, a page of the same size may
            // still differ: the newest day's is sent anyway.
            c.page_due = needed || (!exact_times_ && day == c.newest_day);
            if (c.phase == CatchUp::Phase::kCount && needed) ++c.waiting;
            // The remote's is this one: nothing to send at the stop either.
            if (!c.page_due) sent_pages_[day + "/" + local.name] = {local.stamp, media_bytes_sent_};
        } else if (needed) {
            if (c.phase == CatchUp::Phase::kCount) {
                ++c.waiting;
            } else {
                // A copy there is replaced; a missing one may have gone
                // meanwhile (a page's look at its links) and is not sent twice.
                c.to_send.emplace_back(local.name, found != remote.end());
            }
        }
    }
    c.day_open = c.phase == CatchUp::Phase::kSend;
    return true;
}

DiaryPublisher::Step DiaryPublisher::CatchUpStep(const AbortFn& abort) {
    if (!catch_up_) {
        CatchUp c;
        c.count_first = down_;
        c.started_ns = WallNs();
        catch_up_ = std::move(c);
    }
    CatchUp& c = *catch_up_;
    switch (c.phase) {
        case CatchUp::Phase::kRoot: {
            const std::vector<std::string> all =
                ListPublishedDays({config_.save, config_.day_page, config_.index_page});
            c.newest_day = all.empty() ? std::string() : all.front();
            c.days = DaysToCheck(all);
            c.local_top = LocalFolder("");
            std::vector<RemoteEntry> entries;
            const PublishTarget::Result result = target_->List("", entries, abort);
            if (!result.Done() && result.outcome != PublishTarget::Outcome::kNotFound) {
                Failed(result);
                return Step::kStopped;
            }
            if (!RemoveLeftovers("", entries, abort)) return Step::kStopped;
            for (const RemoteEntry& e : entries) {
                if (e.is_dir && IsDayDirectoryName(e.name)) c.remote_days.insert(e.name);
                if (!e.is_dir) c.remote_top[e.name] = e;
            }
            if (c.count_first) {
                for (const LocalFile& local : c.local_top) {
                    const auto found = c.remote_top.find(local.name);
                    if (NeedsSending(local, found == c.remote_top.end() ? nullptr : &found->second))
                        ++c.waiting;
                }
            }
            c.phase = c.count_first ? CatchUp::Phase::kCount : CatchUp::Phase::kSend;
            if (c.phase == CatchUp::Phase::kSend) {
                for (const LocalFile& local : c.local_top) {
                    const auto found = c.remote_top.find(local.name);
                    if (local.name == kStyleSheetName &&
                        NeedsSending(local,
                                     found == c.remote_top.end() ? nullptr : &found->second) &&
                        !SendMedia(local.name, abort, true)) {
                        return Step::kStopped;
                    }
                }
            }
            return Step::kProgress;
        }
        case CatchUp::Phase::kCount: {
            if (c.next_day < c.days.size()) {
                if (!OpenDay(c, c.days[c.next_day++], abort)) return Step::kStopped;
                return Step::kProgress;
            }
            Say(kRemoteBackLine, std::to_string(c.waiting));
            down_ = false;
            backoff_ = std::chrono::seconds(0);
            c.phase = CatchUp::Phase::kRoot;
            c.count_first = false;
            c.next_day = 0;
            c.remote_days.clear();
            c.remote_top.clear();
            return Step::kProgress;
        }
        case CatchUp::Phase::kSend: {
            if (!c.day_open) {
                if (c.next_day >= c.days.size()) {
                    c.phase = CatchUp::Phase::kIndex;
                    return Step::kProgress;
                }
                if (!OpenDay(c, c.days[c.next_day], abort)) return Step::kStopped;
                return Step::kProgress;
            }
            const std::string& day = c.days[c.next_day];
            if (c.next_file < c.to_send.size()) {
                const auto& [name, replace] = c.to_send[c.next_file];
                if (!SendMedia(day + "/" + name, abort, replace)) return Step::kStopped;
                ++c.next_file;
                return Step::kProgress;
            }
            if (c.page_due) {
                const std::string page = day + "/" + config_.day_page;
                if (!SendPage(page, abort)) return Step::kStopped;
                dirty_pages_.erase(page);
                c.page_due = false;
            }
            c.day_open = false;
            ++c.next_day;
            return Step::kProgress;
        }
        case CatchUp::Phase::kIndex: {
            for (const LocalFile& local : c.local_top) {
                if (local.name != config_.index_page) continue;
                const auto found = c.remote_top.find(local.name);
                if (NeedsSending(local, found == c.remote_top.end() ? nullptr : &found->second) ||
                    !exact_times_) {
                    if (!SendPage(local.name, abort)) return Step::kStopped;
                    dirty_pages_.erase(local.name);
                } else {
                    sent_pages_[local.name] = {local.stamp, media_bytes_sent_};
                }
            }
            last_catch_up_started_ns_ = c.started_ns;
            catch_up_.reset();
            leftovers_.clear();
            catch_up_due_ = false;
            backoff_ = std::chrono::seconds(0);
            return Step::kDone;
        }
    }
    return Step::kDone;
}

std::string DiaryPublisher::Scratch() {
    if (!scratch_.empty()) return scratch_;
    const char* tmp_env = std::getenv("TMPDIR");
    std::string tmp = tmp_env && *tmp_env ? tmp_env : "/tmp";
    if (tmp.back() != '/') tmp += '/';
    SweepScratch(tmp);
    std::string name = tmp + kScratchPrefix + std::to_string(::getpid()) + "-XXXXXX";
    if (::mkdtemp(name.data()) == nullptr) {
        if (!scratch_failed_said_) Say(kScratchFailedLine, tmp + ": " + std::strerror(errno));
        scratch_failed_said_ = true;
        return {};
    }
    scratch_ = name + "/";
    return scratch_;
}

void DiaryPublisher::Begin(const StopSignal&) {
    // Named as the diary's job threads are once lowered (top, ps).
    ::pthread_setname_np(::pthread_self(), "diary job");
    Refresh();
    if (config_.remote.empty() || config_.save.empty()) return;
    rclone_path_ = FindOnPath(options_.rclone);
    if (rclone_path_.empty()) {
        Say(kRcloneMissingLine);
        rclone_missing_said_ = true;
    }
}

void DiaryPublisher::Handle(const DiaryEvent& event, const StopSignal& stop) {
    const AbortFn abort = [&stop] { return stop.IsSet(); };
    const auto media_and_pages = [&](const std::string& save_directory, const std::string& path,
                                     const std::vector<std::string>& pages) {
        Refresh();
        if (config_.remote.empty() || config_.save.empty()) return;
        for (const std::string& page : pages) {
            const std::string relative = RelativeToSave(save_directory, page);
            if (!relative.empty()) dirty_pages_.emplace(relative, Now());
        }
        const std::string relative = RelativeToSave(save_directory, path);
        // While the remote is away nothing is queued: the look at the save
        // folder when it is back finds the picture (and counts it as waiting).
        if (!relative.empty() && !down_ && Prepare(abort)) SendMedia(relative, abort);
    };
    if (const auto* stored = std::get_if<PictureStored>(&event)) {
        media_and_pages(stored->save_directory, stored->path, stored->pages);
    } else if (const auto* video = std::get_if<DayVideoMade>(&event)) {
        media_and_pages(video->save_directory, video->path, video->pages);
    } else if (const auto* deleted = std::get_if<DayDeleted>(&event)) {
        Refresh();
        if (config_.remote.empty() || config_.save.empty()) return;
        QueueDeletions(*deleted);
        if (Prepare(abort)) RunDeletions(abort);
    }
}

std::optional<std::chrono::milliseconds> DiaryPublisher::NextWake() {
    if (config_.remote.empty() || config_.save.empty() || rclone_path_.empty())
        return kSettingsPoll;
    // Rounded up: a wake a little early would find nothing due.
    const auto until = [this](TimePoint when) {
        return std::max(milliseconds(0), std::chrono::ceil<milliseconds>(when - Now()));
    };
    if (pausing_) return until(retry_at_);
    if (catch_up_due_ || catch_up_ || !deletions_.empty()) return milliseconds(0);
    if (!dirty_pages_.empty()) {
        if (!last_page_round_) return milliseconds(0);
        return std::min<milliseconds>(
            kSettingsPoll,
            until(*last_page_round_ + std::chrono::seconds(config_.page_interval_s)));
    }
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
    if (!down_ && PagesDue()) SendDirtyPages({}, false, abort);
}

void DiaryPublisher::End(const StopSignal&) {
    // The stop is set: the pages get a short time of their own, and what
    // does not make it goes with the next start's look at the save folder.
    const auto deadline = std::chrono::steady_clock::now() + kEndBudget;
    const AbortFn abort = [deadline] { return std::chrono::steady_clock::now() >= deadline; };
    if (!config_.remote.empty() && !config_.save.empty() && !pausing_ && connected_ && daemon_ &&
        daemon_->Running()) {
        // Also the pages of a last picture whose event the stop dropped.
        std::vector<std::string> extra;
        if (!config_.index_page.empty()) extra.push_back(config_.index_page);
        const std::vector<std::string> days =
            ListPublishedDays({config_.save, config_.day_page, config_.index_page});
        if (!days.empty() && !config_.day_page.empty())
            extra.push_back(days.front() + "/" + config_.day_page);
        SendDirtyPages(extra, true, abort);
        // Uploads the stop cut off (their names are ours; one that did get
        // moved into place is not there any more).
        for (auto it = leftovers_.begin(); it != leftovers_.end() && !abort();) {
            if (target_->Delete(*it, abort).Done()) {
                it = leftovers_.erase(it);
            } else {
                ++it;
            }
        }
    }
    Shutdown();
}

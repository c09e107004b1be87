#pragma once

#include <QtGlobal>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "events/diary_events.h"
#include "events/diary_job_context.h"
#include "log/log_text.h"
#include "publish/publish_target.h"
#include "publish/rclone_daemon.h"

// Log texts of publishing (translated in context "DiaryPublisher"; %1 is
// what the line is about).
inline constexpr const char* kRcloneMissingLine = QT_TRANSLATE_NOOP(
    "DiaryPublisher",
    "rcloneが見つからないため公開できません（sudo apt-get install rclone で入ります）");
inline constexpr const char* kRcloneFailedLine =
    QT_TRANSLATE_NOOP("DiaryPublisher", "rcloneを起動できません: %1");
inline constexpr const char* kRemoteGoneLine =
    QT_TRANSLATE_NOOP("DiaryPublisher", "公開先に接続できません（つながるまで再試行します）: %1");
inline constexpr const char* kRemoteBackLine =
    QT_TRANSLATE_NOOP("DiaryPublisher", "公開先に再び接続しました。送信待ちのファイル: %1件");
inline constexpr const char* kDeletionsDroppedLine =
    QT_TRANSLATE_NOOP("DiaryPublisher", "公開先で削除されずに残るファイルがあります: %1");
inline constexpr const char* kScratchFailedLine =
    QT_TRANSLATE_NOOP("DiaryPublisher", "公開用の一時ファイルを作れません: %1");

// What the program never changes (tests do).
struct DiaryPublisherOptions {
    // The rclone program: a name looked up on PATH, or a path.
    std::string rclone = "rclone";
    // Empty: the steady clock.
    std::function<std::chrono::steady_clock::time_point()> now = {};
};

// Publishing: keeps a remote (anything rclone reaches, PUBLISH REMOTE) a copy
// of the diary's own files in the save folder, which is the queue. At start
// and after an outage it sends what the remote lacks or holds in another
// size (or older, where the remote keeps exact times); then each picture goes
// at once, and pages at most once per PAGE_INTERVAL_SECOND and at the stop.
// A page goes only after every picture it links is on the remote. The only
// deletions are those the retention job reports. Outages are retried with
// growing pauses, said once when the remote goes away and once when it is
// back; meanwhile only the names of changed pages are kept.
class DiaryPublisher final : public DiarySubscriber {
public:
    // Pauses between attempts while the remote is away.
    static constexpr std::chrono::seconds kFirstRetry{2};
    static constexpr std::chrono::seconds kLongestRetry{300};
    // The flush of the pages at the stop gives up after this.
    static constexpr std::chrono::milliseconds kEndBudget{700};
    // A page that went before goes again only once pictures of this many
    // times its size went since (the day page grows all day, and would
    // otherwise outweigh the pictures), or once it has waited kLongestPageWait.
    static constexpr int kPageWeight = 2;
    static constexpr std::chrono::seconds kLongestPageWait{3600};

    explicit DiaryPublisher(DiaryJobContext context, DiaryPublisherOptions options = {});
    ~DiaryPublisher() override;

    std::string Name() const override { return "公開"; }
    void Begin(const StopSignal& stop) override;
    void Handle(const DiaryEvent& event, const StopSignal& stop) override;
    std::optional<std::chrono::milliseconds> NextWake() override;
    void Wake(const StopSignal& stop) override;
    void End(const StopSignal& stop) override;

private:
    using TimePoint = std::chrono::steady_clock::time_point;

    struct Config {
        std::string remote;
        std::string rclone_config;
        std::string bwlimit;
        std::string save;  // absolute, ends in "/"; empty: nothing to publish
        std::string index_page;
        std::string day_page;
        int page_interval_s = 300;

        bool operator==(const Config&) const = default;
    };
    struct Stamp {
        std::int64_t size = -1;
        std::int64_t mtime_ns = 0;
        bool operator==(const Stamp&) const = default;
    };
    struct SentPage {
        Stamp stamp;
        std::uint64_t media_bytes = 0;  // media_bytes_sent_ when it went
    };
    struct LocalFile {
        std::string name;
        Stamp stamp;
    };
    struct Deletion {
        std::string path;
        bool folder = false;  // removed only when empty
    };
    // One pass over the save folder (see CatchUpStep).
    struct CatchUp {
        enum class Phase { kRoot, kCount, kSend, kIndex } phase = Phase::kRoot;
        bool count_first = false;  // an outage was said: count, say so, then send
        std::int64_t started_ns = 0;
        std::vector<std::string> days;  // to look at, newest first
        std::set<std::string> remote_days;
        std::map<std::string, RemoteEntry> remote_top;
        std::vector<LocalFile> local_top;
        std::string newest_day;
        std::size_t next_day = 0;
        std::size_t waiting = 0;
        // The day being sent.
        bool day_open = false;
        std::vector<std::pair<std::string, bool>> to_send;  // name, replace a copy there
        std::size_t next_file = 0;
        bool page_due = false;
    };
    enum class Step { kProgress, kDone, kStopped };

    TimePoint Now() const;
    // One of the log texts above with its %1.
    void Say(const char* text, const std::string& about = {});
    std::string Masked(const std::string& text) const;
    void Refresh();
    // Ready to talk to the remote: publishing on, rclone there, the daemon
    // running and the remote answering (not in a pause after a failure).
    bool Prepare(const AbortFn& abort);
    void Shutdown();
    void GoDown(const char* text, const std::string& about);
    void Failed(const PublishTarget::Result& result);

    bool IsPublished(const std::string& path) const;
    std::string RelativeToSave(const std::string& save_directory, const std::string& path) const;
    std::vector<LocalFile> LocalFolder(const std::string& folder) const;
    bool NeedsSending(const LocalFile& local, const RemoteEntry* remote) const;

    // Each returns false after a failure of the remote (already handled).
    // `replace`: also when the remote is known to hold it (a different copy).
    bool SendMedia(const std::string& path, const AbortFn& abort, bool replace = false);
    bool SendPage(const std::string& path, const AbortFn& abort);
    bool EnsureOnRemote(const std::string& path, const AbortFn& abort);
    bool LoadRemoteDay(const std::string& day, const AbortFn& abort);
    void RememberDay(const std::string& day, const std::vector<RemoteEntry>& entries);
    bool RemoveLeftovers(const std::string& folder, const std::vector<RemoteEntry>& entries,
                         const AbortFn& abort);
    // `all`: every dirty page (the stop), else those worth sending now.
    bool SendDirtyPages(const std::vector<std::string>& extra, bool all, const AbortFn& abort);
    bool WorthSending(const std::string& page, TimePoint dirty_since) const;
    bool RunDeletions(const AbortFn& abort);
    void QueueDeletions(const DayDeleted& deleted);

    Step CatchUpStep(const AbortFn& abort);
    bool OpenDay(CatchUp& c, const std::string& day, const AbortFn& abort);
    std::vector<std::string> DaysToCheck(const std::vector<std::string>& all) const;
    bool PagesDue() const;
    std::string Scratch();

    DiaryJobContext context_;
    DiaryPublisherOptions options_;
    Config config_;
    std::string rclone_path_;
    bool rclone_missing_said_ = false;
    bool deletions_dropped_said_ = false;
    bool scratch_failed_said_ = false;

    std::unique_ptr<RcloneDaemon> daemon_;
    std::unique_ptr<PublishTarget> target_;
    bool connected_ = false;
    bool exact_times_ = false;
    bool down_ = false;  // the outage line was said
    bool pausing_ = false;
    TimePoint retry_at_{};
    std::chrono::seconds backoff_{0};

    bool catch_up_due_ = true;
    std::optional<CatchUp> catch_up_;
    std::optional<std::int64_t> last_catch_up_started_ns_;

    // Pages to send, with when they first changed since they last went.
    std::map<std::string, TimePoint> dirty_pages_;
    std::optional<TimePoint> last_page_round_;
    std::map<std::string, SentPage> sent_pages_;
    std::uint64_t media_bytes_sent_ = 0;

    // What the remote holds in a few day folders (most recently used last):
    // for what went from here, its local size and time; for what a listing
    // told, the remote size and no time.
    std::map<std::string, std::map<std::string, Stamp>> remote_days_;
    std::deque<std::string> remote_days_order_;

    std::deque<Deletion> deletions_;
    // Partial uploads that may be left on the remote (cut off or failed).
    std::set<std::string> leftovers_;
    std::string scratch_;
};

// Registers [PUBLISH] and subscribes the job.
void RegisterPublishing(const DiaryJobContext& context);

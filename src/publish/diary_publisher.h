#pragma once

#include <QtGlobal>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "events/diary_events.h"
#include "events/diary_job_context.h"
#include "log/log_text.h"
#include "publish/local_listing.h"
#include "publish/page_policy.h"
#include "publish/publish_plan.h"
#include "publish/remote_connection.h"
#include "publish/remote_mark.h"
#include "publish/scratch_copy.h"

// Log texts of publishing (translated in context "DiaryPublisher"; %1 is
// what the line is about).
inline constexpr const char* kRcloneMissingLine = QT_TRANSLATE_NOOP(
    "DiaryPublisher",
    "rcloneが見つからないため公開できません（sudo apt-get install rclone で入ります）");
inline constexpr const char* kRcloneFailedLine =
    QT_TRANSLATE_NOOP("DiaryPublisher", "rcloneを起動できません: %1");
inline constexpr const char* kRemoteGoneLine =
    QT_TRANSLATE_NOOP("DiaryPublisher", "公開先に接続できません（つながるまで再試行します）: %1");
inline constexpr const char* kRemoteRefusedLine = QT_TRANSLATE_NOOP(
    "DiaryPublisher", "公開先が送信を拒否しました（間隔を広げて再試行します）: %1");
inline constexpr const char* kRemoteBackLine =
    QT_TRANSLATE_NOOP("DiaryPublisher", "公開先に再び接続しました。送信待ちのファイル: %1件");
inline constexpr const char* kDeletionsDroppedLine =
    QT_TRANSLATE_NOOP("DiaryPublisher", "公開先で削除されずに残るファイルがあります: %1");
inline constexpr const char* kRemoteNotRemoteLine =
    QT_TRANSLATE_NOOP("DiaryPublisher",
                      "公開先はrcloneのリモート（名前:"
                      "パス）か保存フォルダの外の絶対パスにしてください。公開しません: %1");
inline constexpr const char* kRemoteIsSaveFolderLine =
    QT_TRANSLATE_NOOP("DiaryPublisher", "公開先が保存フォルダかその中のため公開しません: %1");
inline constexpr const char* kRcloneConfigLine =
    QT_TRANSLATE_NOOP("DiaryPublisher", "rcloneの設定ファイルを読めないため公開しません: %1");
inline constexpr const char* kRemoteOfAnotherDiaryLine = QT_TRANSLATE_NOOP(
    "DiaryPublisher", "公開先は別の日記が使っているため、何も送らず削除もしません: %1");
inline constexpr const char* kIdentityFailedLine =
    QT_TRANSLATE_NOOP("DiaryPublisher", "この日記の識別子を読み書きできないため公開しません: %1");
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
// at once, and pages as PagePolicy says and at the stop. A page goes only
// after every picture it links is on the remote. The only deletions are
// those the retention job reports. Outages are retried with growing pauses
// (RemoteConnection); meanwhile only the names of changed pages are kept.
// What to send is the planner's (publish_plan.h); this class carries it out.
class DiaryPublisher final : public DiarySubscriber {
public:
    // The flush of the pages at the stop gives up after this.
    static constexpr std::chrono::milliseconds kEndBudget{700};

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
        RemoteConnection::Options remote;
        std::string save;    // absolute, ends in "/"; empty: nothing to publish
        DiaryLayout layout;  // with `save`
        int page_interval_s = 300;
        // This diary's identity, which marks the remote as its own; empty
        // (no settings folder): the remote is not marked.
        std::string identity_file;

        // Why the settings are refused (one of the lines above), or null.
        const char* refusal = nullptr;
        std::string refused;  // what the line is about

        bool On() const { return !remote.remote.empty() && !save.empty() && !refusal; }
        bool operator==(const Config&) const = default;
    };
    // One pass over the save folder (see CatchUpStep).
    struct CatchUp {
        bool counting = false;  // an outage was said: count, say so, then send
        std::int64_t started_ns = 0;
        bool root_done = false;
        std::vector<LocalFile> root_local;
        std::vector<PlanAction> root_plan;
        std::set<std::string> remote_days;
        std::vector<std::string> days;  // to look at, newest first
        std::string newest_day;
        std::size_t next_day = 0;
        std::size_t waiting = 0;
        // The day being sent.
        bool day_open = false;
        std::vector<LocalFile> day_local;
        std::vector<PlanAction> day_plan;
        std::size_t next_action = 0;
    };
    enum class Step { kProgress, kDone, kStopped };

    TimePoint Now() const;
    void Say(const char* text, const std::string& about = {});
    void Refresh();
    static void Check(Config& c);
    bool Prepare(const AbortFn& abort);
    void Failed(const PublishTarget::Result& result) { connection_.Failed(result); }
    void WentDown();
    // The remote is this diary's: marked so now if no diary marked it.
    bool Mark(const AbortFn& abort);
    // A file went: after a refusal, the remote is back.
    void Wrote();

    std::string RelativeToSave(const std::string& save_directory, const std::string& path) const;

    // Each returns false after a failure of the remote (already handled).
    // `replace`: also when the remote is known to hold it (a different copy).
    bool SendMedia(const std::string& path, const AbortFn& abort, bool replace = false);
    bool SendPage(const std::string& path, const AbortFn& abort);
    bool EnsureOnRemote(const std::string& path, const AbortFn& abort);
    bool LoadRemoteDay(const std::string& day, const AbortFn& abort);
    void RememberDay(const std::string& day, const std::vector<RemoteEntry>& entries);
    bool DeleteLeftovers(const std::string& folder, const std::vector<PlanAction>& plan,
                         const AbortFn& abort);
    // `all`: every changed page (the stop), else those worth sending now.
    bool SendPages(const std::vector<std::string>& extra, bool all, const AbortFn& abort);
    bool RunDeletions(const AbortFn& abort);
    void QueueDeletions(const DayDeleted& deleted);

    Step CatchUpStep(const AbortFn& abort);
    bool OpenDay(CatchUp& c, const AbortFn& abort);
    bool Carry(const std::string& folder, const PlanAction& action,
               const std::vector<LocalFile>& local, const AbortFn& abort);

    DiaryJobContext context_;
    DiaryPublisherOptions options_;
    Config config_;
    bool deletions_dropped_said_ = false;
    bool scratch_failed_said_ = false;

    RemoteConnection connection_;
    PagePolicy pages_;

    bool catch_up_due_ = true;
    std::optional<CatchUp> catch_up_;
    std::optional<std::int64_t> last_catch_up_started_ns_;

    // What the remote holds in a few day folders (most recently used last):
    // for what went from here, its local size and time; for what a listing
    // told, the remote size and no time.
    std::map<std::string, std::map<std::string, Stamp>> remote_days_;
    std::deque<std::string> remote_days_order_;

    bool marked_ = false;   // the remote holds this diary's mark
    bool foreign_ = false;  // another diary's: said, nothing goes

    // The files counted as waiting at the last look after an outage.
    std::size_t waiting_said_ = 0;

    std::deque<Deletion> deletions_;
    // Partial uploads that may be left on the remote (cut off or failed).
    std::set<std::string> leftovers_;
    ScratchFolder scratch_;
};

// Registers [PUBLISH] and subscribes the job.
void RegisterPublishing(const DiaryJobContext& context);

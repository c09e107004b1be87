#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "diary/layout/day_folders.h"
#include "events/diary_events.h"
#include "events/diary_job_context.h"
#include "log/log_text.h"

// Keeps the diary from filling the disk: past day folders go, oldest first,
// while a rule of [RETENTION] asks for it. KEEP_DAYS and KEEP_MAX_MB are
// looked at at start, hourly, when the settings change and, for KEEP_MAX_MB,
// after each picture (its total is kept: every day is counted once, then
// each store's files are added); KEEP_FREE_MB also before every store.
// Only the program's own files of a day go (day_folders.h), never today's,
// never a day after today, never the day the last store wrote to, never
// through a link, never on another file system. KEEP_DAYS keeps the newest
// KEEP_DAYS days that hold pictures whatever their dates, so a clock far
// ahead cannot empty the diary; a target beyond the whole file system is
// refused. Each deleted day is said in the log, published as DayDeleted (to
// the context's `publish`), and the pages are told to forget it
// (`mark_pages_changed`).
class DiaryRetention final : public DiarySubscriber {
public:
    static constexpr std::chrono::milliseconds kSweepEvery{3600 * 1000};
    // How often the settings are looked at while nothing happens.
    static constexpr std::chrono::milliseconds kLookAgain{30000};
    static constexpr std::uint64_t kBytesPerMb = 1024 * 1024;

    explicit DiaryRetention(DiaryJobContext context);

    std::string Name() const override { return "retention"; }
    void Begin(const StopSignal& stop) override;
    void Handle(const DiaryEvent& event, const StopSignal& stop) override;
    std::optional<std::chrono::milliseconds> NextWake() override;
    void Wake(const StopSignal& stop) override;

    // Every rule, now (what the start and the hourly wake do).
    void Sweep(const StopSignal& stop);
    // The kept total of the program's files (KEEP_MAX_MB set), in bytes.
    std::uint64_t KeptBytes() const { return total_; }

private:
    enum class Rule { kDays, kMaxSize, kFreeSpace };

    struct Rules {
        std::int32_t keep_days = 0;
        std::int32_t max_mb = 0;
        std::int32_t free_mb = 0;
        std::string save;  // ends in "/"; empty: no diary
        std::string day_page;
        std::string index_page;
        bool operator==(const Rules&) const = default;
    };

    struct DayTotal {
        std::uint64_t bytes = 0;
        std::uint64_t page_bytes = 0;
        timespec folder_changed{};
    };

    Rules ReadRules() const;
    // Takes the save folder of `rules` as the one looked after; forgets what
    // was known of another one.
    bool OpenSave(const Rules& rules, OpenFolder& save);

    void KeepDays(const Rules& rules, const OpenFolder& save, const StopSignal& stop);
    void KeepFreeSpace(const Rules& rules, const OpenFolder& save, const StopSignal& stop);
    void KeepMaxSize(const Rules& rules, const OpenFolder& save, const StopSignal& stop);

    // Counts the days not counted yet and forgets those that are gone.
    bool CountDays(const Rules& rules, const OpenFolder& save, const StopSignal& stop);
    // Counts again the days whose folders changed since they were counted.
    void Recount(const Rules& rules, const OpenFolder& save, const StopSignal& stop);
    void SetDay(const std::string& day, const DayFiles& files);
    void ForgetDay(const std::string& day);
    void ForgetTotals();
    void AddStored(const Rules& rules, const PictureStored& stored);
    void AddVideo(const Rules& rules, const DayVideoMade& made);
    void SetPageBytes(const Rules& rules, const std::string& day, const std::string& path);

    // The oldest day that may go, or empty.
    std::string OldestDeletable() const;
    bool Deletable(const std::string& day) const;
    // False when the stop came.
    bool DeleteDay(const Rules& rules, const OpenFolder& save, const std::string& day, Rule rule,
                   const StopSignal& stop);
    LogText RuleText(const Rules& rules, Rule rule) const;
    // Names, once, the day folders dated after today.
    void SayLaterDays();
    // Turns off, with one line, a size target that the save folder's file
    // system can never meet.
    void RefuseBeyondTheDisk(Rules& rules);
    void SayNothingLeft(const Rules& rules, Rule rule);

    DiaryJobContext context_;
    // The save folder looked after ("/" at the end) and its day folders,
    // oldest first, as last listed and kept up to date by the deletions.
    std::string save_;
    std::vector<std::string> days_;
    std::string today_;
    // The day the diary stores into: it stays even after midnight until a
    // store goes to the next day.
    std::string storing_day_;
    // Days emptied of the program's files whose folders stay (they hold
    // files of their own, or a file could not be removed): not tried again
    // until the program writes there again.
    std::set<std::string> emptied_;
    std::set<std::string> said_kept_;
    std::set<Rule> said_nothing_left_;
    std::set<std::string> said_later_;
    std::set<std::pair<Rule, std::int32_t>> said_beyond_;

    // KEEP_MAX_MB's kept total (only while it is set).
    bool counted_ = false;
    std::map<std::string, DayTotal> totals_;
    std::uint64_t index_bytes_ = 0;
    std::uint64_t total_ = 0;

    std::optional<Rules> swept_with_;
    std::chrono::steady_clock::time_point next_sweep_{};
};

// Registers [RETENTION] and subscribes the job.
void RegisterRetention(const DiaryJobContext& context);

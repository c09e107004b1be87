// Retention's costs, each against a floor measured in the same run:
// - the hourly sweep of a 3,650-day diary with five pictures a day and
//   nothing to delete (every rule set, the size total kept), against listing
//   its day folders;
// - deleting one past day of 8,640 pictures (wall and processor time),
//   against removing the same files by name in a plain loop;
// - the longest store while such a day is deleted beside it, against the
//   longest of as many stores with nothing beside them (manual time: the
//   longest store; the difference is the delay the deletion causes). A
//   store here is its writes: a picture of 30 KB and the two pages, each to a
//   temporary file flushed to the disk and renamed, as the diary writes them.
// The diary goes to the system's temporary folder, or to the current folder
// when that is a tmpfs (where a flush costs nothing).
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "diary/layout/day_folders.h"
#include "platform/atomic_file.h"
#include "platform/clock.h"
#include "platform/stop_signal.h"
#include "retention/diary_retention.h"
#include "retention/retention_settings.h"
#include "settings/shared_settings.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPicturesADay = 8640;

// 2024-03-15 12:00, whatever the real time.
class FixedClock final : public Clock {
public:
    std::uint32_t TickMs() override { return 0; }
    bool SleepMs(std::uint32_t, const StopSignal*) override { return false; }
    std::tm LocalNow() override {
        std::tm t{};
        t.tm_year = 124;
        t.tm_mon = 2;
        t.tm_mday = 15;
        t.tm_hour = 12;
        return t;
    }
};

fs::path DiskFolder() {
    struct statfs info {};
    const fs::path temp = fs::temp_directory_path();
    if (::statfs(temp.c_str(), &info) == 0 && info.f_type == TMPFS_MAGIC) return fs::current_path();
    return temp;
}

class Folder {
public:
    Folder() {
        std::string pattern = (DiskFolder() / "quillomat-retention-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        root_ = pattern;
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    std::string Str() const { return root_.string() + "/"; }

private:
    fs::path root_;
};

void WriteBytes(const std::string& path, std::size_t bytes) {
    std::ofstream(path, std::ios::binary) << std::string(bytes, 'j');
}

std::string DayName(std::int64_t day_number) {
    // Howard Hinnant's civil_from_days.
    const std::int64_t z = day_number + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
    char name[16];
    std::snprintf(name, sizeof name, "%04d%02d%02d", y, m, d);
    return name;
}

// Pictures "DAYhhmmss.jpg" ten seconds apart from midnight, and a day page.
void MakeDay(const std::string& save, const std::string& day, int pictures, std::size_t bytes) {
    fs::create_directory(save + day);
    for (int i = 0; i < pictures; ++i) {
        const int second = i * 10;
        char name[32];
        std::snprintf(name, sizeof name, "%s%02d%02d%02d.jpg", day.c_str(), second / 3600,
                      second / 60 % 60, second % 60);
        WriteBytes(save + day + "/" + name, bytes);
    }
    WriteBytes(save + day + "/preview.html", 2048);
}

// The 3,650 days before 2024-03-15, five small pictures each.
const Folder& TenYears() {
    static const Folder folder = [] {
        Folder made;
        const std::int64_t today = CivilDayNumber(2024, 3, 15);
        for (std::int64_t day = today - 3650; day < today; ++day)
            MakeDay(made.Str(), DayName(day), 5, 1024);
        return made;
    }();
    return folder;
}

void BM_HourlySweep(benchmark::State& state) {
    const Folder& diary = TenYears();
    SharedSettings settings;
    settings.Update([&](DiarySettings& s) {
        s.SAVE_DIRECTORY = diary.Str();
        s.Section<RetentionSettings>().KEEP_DAYS = 36500;
        // Within the file system (a limit beyond it stays off), above the diary.
        s.Section<RetentionSettings>().KEEP_MAX_MB =
            static_cast<std::int32_t>(std::min<std::uint64_t>(
                SpaceOf(diary.Str())->total_bytes / DiaryRetention::kBytesPerMb, 1 << 30));
        s.Section<RetentionSettings>().KEEP_FREE_MB = 1;
    });
    NoEventPublisher events;
    FixedClock clock;
    std::atomic<int> deleted{0};
    DiaryEvents subscribed;
    DiaryRetention job({.settings = settings,
                        .events = subscribed,
                        .publish = events,
                        .clock = clock,
                        .post_line = [&](const LogText&) { ++deleted; }});
    StopSignal stop;
    job.Sweep(stop);  // the start: every day is counted once
    for (auto _ : state) job.Sweep(stop);
    if (deleted.load() != 0 || job.KeptBytes() < 3650u * 5 * 1024)
        state.SkipWithError("the sweep deleted or did not count");
}

void BM_HourlySweep_Floor(benchmark::State& state) {
    const Folder& diary = TenYears();
    std::size_t listed = 0;
    for (auto _ : state) {
        std::vector<std::string> names;
        DIR* dir = ::opendir(diary.Str().c_str());
        while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
        ::closedir(dir);
        listed = names.size();
        benchmark::DoNotOptimize(names);
    }
    if (listed < 3650) state.SkipWithError("too few folders");
}

// One past day of 8,640 pictures of `bytes` each, made outside the timing.
std::string PastDay(benchmark::State& state, const Folder& diary, std::size_t bytes) {
    state.PauseTiming();
    MakeDay(diary.Str(), "20240301", kPicturesADay, bytes);
    ::sync();
    state.ResumeTiming();
    return "20240301";
}

// Today's folder with a picture: KEEP_DAYS keeps the newest days that hold
// pictures, so the past day is old by both of its counts.
void MakeToday(const std::string& save) {
    fs::create_directory(save + "20240315");
    WriteBytes(save + "20240315/20240315000000.jpg", 1024);
}

void BM_DeleteADayOf8640Pictures(benchmark::State& state) {
    Folder diary;
    MakeToday(diary.Str());
    SharedSettings settings;
    settings.Update([&](DiarySettings& s) {
        s.SAVE_DIRECTORY = diary.Str();
        s.Section<RetentionSettings>().KEEP_DAYS = 1;
    });
    NoEventPublisher events;
    FixedClock clock;
    DiaryEvents subscribed;
    DiaryRetention job({.settings = settings,
                        .events = subscribed,
                        .publish = events,
                        .clock = clock,
                        .post_line = [](const LogText&) {}});
    StopSignal stop;
    for (auto _ : state) {
        const std::string day = PastDay(state, diary, 30 * 1024);
        job.Sweep(stop);
        if (fs::exists(diary.Str() + day)) state.SkipWithError("the day stayed");
    }
}

void BM_DeleteADayOf8640Pictures_Floor(benchmark::State& state) {
    Folder diary;
    for (auto _ : state) {
        const std::string day = PastDay(state, diary, 30 * 1024);
        const std::string folder = diary.Str() + day + "/";
        DIR* dir = ::opendir(folder.c_str());
        std::vector<std::string> names;
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
        }
        ::closedir(dir);
        for (const std::string& name : names) ::unlink((folder + name).c_str());
        ::rmdir(folder.c_str());
    }
}

// One store's writes into today's folder; returns how long they took.
double StoreWrites(const std::string& save, int number) {
    const auto start = std::chrono::steady_clock::now();
    char name[32];
    std::snprintf(name, sizeof name, "20240315%06d.jpg", number);
    WriteFileAtomically(save + "20240315/" + name, std::string(30 * 1024, 'j'));
    WriteFileAtomically(save + "20240315/preview.html", std::string(20 * 1024, 'd'));
    WriteFileAtomically(save + "preview.html", std::string(9 * 1024, 'i'));
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// How many stores the last deletion had beside it: the floor makes as many
// (the longest of more stores is longer by chance alone).
std::atomic<int> g_stores_beside_deletion{50};

void LongestStore(benchmark::State& state, bool deleting) {
    Folder diary;
    MakeToday(diary.Str());
    SharedSettings settings;
    settings.Update([&](DiarySettings& s) {
        s.SAVE_DIRECTORY = diary.Str();
        s.Section<RetentionSettings>().KEEP_DAYS = 1;
    });
    NoEventPublisher events;
    FixedClock clock;
    DiaryEvents subscribed;
    DiaryRetention job({.settings = settings,
                        .events = subscribed,
                        .publish = events,
                        .clock = clock,
                        .post_line = [](const LogText&) {}});
    StopSignal stop;
    int number = 0;
    for (auto _ : state) {
        if (deleting) PastDay(state, diary, 30 * 1024);
        std::atomic<bool> done{false};
        std::thread deletion;
        if (deleting) {
            deletion = std::thread([&] {
                job.Sweep(stop);
                done = true;
            });
        }
        double longest = 0;
        int these = 0;
        // Beside the deletion: stores until it ends.
        while (deleting ? !done.load() : these < g_stores_beside_deletion.load()) {
            longest = std::max(longest, StoreWrites(diary.Str(), ++number));
            ++these;
        }
        if (deletion.joinable()) deletion.join();
        if (deleting) g_stores_beside_deletion = these;
        state.SetIterationTime(longest);
        state.PauseTiming();
        std::error_code ec;
        fs::remove_all(diary.Str() + "20240301", ec);
        fs::remove_all(diary.Str() + "20240315", ec);
        MakeToday(diary.Str());
        state.ResumeTiming();
        state.counters["stores"] = these;
    }
}

void BM_LongestStoreBesideADeletion(benchmark::State& state) { LongestStore(state, true); }
void BM_LongestStoreBesideADeletion_Floor(benchmark::State& state) { LongestStore(state, false); }

}  // namespace

BENCHMARK(BM_HourlySweep_Floor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HourlySweep)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DeleteADayOf8640Pictures_Floor)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);
BENCHMARK(BM_DeleteADayOf8640Pictures)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_LongestStoreBesideADeletion)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(2);
BENCHMARK(BM_LongestStoreBesideADeletion_Floor)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(2);

BENCHMARK_MAIN();

// The retention job on save folders of past, present and future days, driven
// as its events thread drives it, and the look at the folder its tab shows.
#include "retention/diary_retention.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "diary/layout/day_folders.h"
#include "platform/stop_signal.h"
#include "retention/diary_outlook.h"
#include "retention/retention_settings.h"
#include "settings/shared_settings.h"
#include "support/fake_clock.h"
#include "support/local_time.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::uint64_t kKiB = 1024;

class RecordingPublisher final : public EventPublisher {
public:
    void Publish(DiaryEvent event) override { events.push_back(std::move(event)); }
    std::vector<DiaryEvent> events;
};

class DiaryRetentionTest : public ::testing::Test {
protected:
    DiaryRetentionTest() {
        clock_.SetWallClock(LocalTime(2024, 3, 15, 12));
        settings_.Update([&](DiarySettings& s) { s.SAVE_DIRECTORY = save_.path().string(); });
    }

    fs::path Day(const std::string& day) const { return save_.path() / day; }
    void File(const std::string& day, const std::string& name, std::uint64_t bytes) {
        fs::create_directories(Day(day));
        WriteFileBytes(Day(day) / name, std::string(bytes, 'x'));
    }
    PictureStored Stored(const std::string& day, const std::string& name, std::uint64_t bytes,
                         std::uint64_t page_bytes) {
        File(day, name, bytes);
        File(day, "preview.html", page_bytes);
        return {save_.str() + day + "/" + name,       save_.str(), day, name, {}, {}, 0, 0,
                {save_.str() + day + "/preview.html"}};
    }
    // The days published as deleted since the last call, each with its files.
    std::vector<std::pair<std::string, std::vector<std::string>>> Deleted() {
        std::vector<std::pair<std::string, std::vector<std::string>>> days;
        for (const DiaryEvent& event : publisher_.events) {
            const auto& deleted = std::get<DayDeleted>(event);
            EXPECT_EQ(deleted.save_directory, save_.str());
            std::vector<std::string> files = deleted.files;
            std::sort(files.begin(), files.end());
            days.emplace_back(deleted.day_name, files);
        }
        publisher_.events.clear();
        return days;
    }
    std::vector<std::string> TakeLines() { return std::exchange(lines_, {}); }

    TempDir save_;
    TempDir elsewhere_;
    FakeClock clock_;
    SharedSettings settings_;
    RecordingPublisher publisher_;
    std::vector<std::string> lines_;
    int pages_changed_ = 0;
    DiaryEvents events_;
    DiaryRetention job_{
        {.settings = settings_,
         .events = events_,
         .publish = publisher_,
         .clock = clock_,
         .post_line = [this](const LogText& line) { lines_.push_back(line.designed); },
         .mark_pages_changed = [this] { ++pages_changed_; }}};
    StopSignal stop_;
};

// KEEP_DAYS=3 on the 15th: the 12th and older go, each with only the
// program's files; a day that keeps a user's file is said once and not tried
// again until the program writes there again.
TEST_F(DiaryRetentionTest, KeepDaysTakesOnlyTheProgramsFilesOfOldDaysAndEachDayOnce) {
    File("20240301", "20240301120000.jpg", 10);
    File("20240301", "20240301120000_001.jpg", 10);
    File("20240301", "preview.html", 10);
    File("20240301", "notes.txt", 10);
    File("20240310", "20240310080000.jpg", 10);
    File("20240310", "20240310.webm", 10);
    File("20240310", "20240310.webm.tmp", 10);
    File("20240310", "20240310080001.jpg.Ab12Cd.tmp", 10);
    File("20240312", "20240312235959.jpg", 10);
    File("20240313", "20240313000000.jpg", 10);
    // Three days of pictures up to today: the older ones are old by both counts.
    File("20240314", "20240314000000.jpg", 10);
    File("20240315", "20240315000000.jpg", 10);
    settings_.Update([](DiarySettings& s) { s.Section<RetentionSettings>().KEEP_DAYS = 3; });

    job_.Begin(stop_);
    EXPECT_THAT(
        Deleted(),
        ElementsAre(
            std::pair("20240301", std::vector<std::string>{"20240301/20240301120000.jpg",
                                                           "20240301/20240301120000_001.jpg",
                                                           "20240301/preview.html"}),
            std::pair("20240310",
                      std::vector<std::string>{
                          "20240310/20240310.webm", "20240310/20240310.webm.tmp",
                          "20240310/20240310080000.jpg", "20240310/20240310080001.jpg.Ab12Cd.tmp"}),
            std::pair("20240312", std::vector<std::string>{"20240312/20240312235959.jpg"})));
    EXPECT_THAT(TakeLines(), ElementsAre("古い日を削除 20240301 (保存日数3日, 3ファイル, 0KB)",
                                         "日別ディレクトリ 20240301 にはほかのファイルがあるため、"
                                         "ディレクトリを残します",
                                         "古い日を削除 20240310 (保存日数3日, 4ファイル, 0KB)",
                                         "古い日を削除 20240312 (保存日数3日, 1ファイル, 0KB)"));
    EXPECT_EQ(pages_changed_, 3);
    EXPECT_TRUE(fs::exists(Day("20240301") / "notes.txt"));
    EXPECT_FALSE(fs::exists(Day("20240310")));
    EXPECT_TRUE(fs::exists(Day("20240313") / "20240313000000.jpg"));

    job_.Sweep(stop_);
    EXPECT_THAT(Deleted(), IsEmpty());
    EXPECT_THAT(TakeLines(), IsEmpty());

    // The clock set back stores into the kept folder: it goes again, said
    // as a deletion only.
    job_.Handle(Stored("20240301", "20240301130000.jpg", 10, 10), stop_);
    job_.Sweep(stop_);
    EXPECT_THAT(Deleted(), ElementsAre(std::pair(
                               "20240301", std::vector<std::string>{"20240301/20240301130000.jpg",
                                                                    "20240301/preview.html"})));
    EXPECT_THAT(TakeLines(), ElementsAre("古い日を削除 20240301 (保存日数3日, 2ファイル, 0KB)"));
}

// Never today, never a later day, never a link, and not the day the diary
// last stored into while it may still be written to (just after midnight).
TEST_F(DiaryRetentionTest, TodayLaterDaysLinksAndTheDayBeingStoredIntoStay) {
    clock_.SetWallClock(LocalTime(2024, 3, 15, 0, 10));
    File("20240312", "20240312120000.jpg", 10);
    File("20240314", "20240314235959.jpg", 10);
    File("20240315", "20240315000500.jpg", 10);
    File("20240316", "20240316120000.jpg", 10);
    const fs::path outside = elsewhere_.path() / "day";
    fs::create_directories(outside);
    WriteFileBytes(outside / "20240313120000.jpg", "not the diary's");
    fs::create_directory_symlink(outside, Day("20240313"));
    settings_.Update([](DiarySettings& s) { s.Section<RetentionSettings>().KEEP_DAYS = 1; });

    job_.Handle(Stored("20240314", "20240314235959.jpg", 10, 10), stop_);
    job_.Sweep(stop_);
    EXPECT_THAT(Deleted(), ElementsAre(std::pair("20240312", std::vector<std::string>{
                                                                 "20240312/20240312120000.jpg"})));
    job_.Handle(Stored("20240315", "20240315001000.jpg", 10, 10), stop_);
    job_.Sweep(stop_);
    EXPECT_EQ(Deleted().size(), 1u);
    EXPECT_FALSE(fs::exists(Day("20240314")));
    EXPECT_TRUE(fs::exists(Day("20240315") / "20240315000500.jpg"));
    EXPECT_TRUE(fs::exists(Day("20240316") / "20240316120000.jpg"));
    EXPECT_TRUE(fs::is_symlink(Day("20240313")));
    EXPECT_EQ(ReadFileBytes(outside / "20240313120000.jpg"), "not the diary's");
}

// KEEP_MAX_MB's total is counted once at start and then kept from the
// stores' files (a page rewritten replaces its size); only when it is over
// are the folders that changed counted again, so that pictures removed by
// hand do not make a day go for nothing.
TEST_F(DiaryRetentionTest, MaxSizeKeepsItsTotalFromTheStoresAndChecksItBeforeADayGoes) {
    for (const char* day : {"20240312", "20240313"}) {
        for (int i = 0; i < 4; ++i)
            File(day, std::string(day) + "12000" + std::to_string(i) + ".jpg", 100 * kKiB);
    }
    File("20240312", "notes.txt", 500 * kKiB);
    settings_.Update([](DiarySettings& s) { s.Section<RetentionSettings>().KEEP_MAX_MB = 1; });
    job_.Begin(stop_);
    EXPECT_EQ(job_.KeptBytes(), 800 * kKiB);

    // Behind the job's back, later: two pictures go, none is counted anew.
    fs::remove(Day("20240313") / "20240313120000.jpg");
    fs::remove(Day("20240313") / "20240313120001.jpg");
    fs::last_write_time(Day("20240313"), fs::last_write_time(Day("20240313")) + 1h);
    job_.Sweep(stop_);
    EXPECT_EQ(job_.KeptBytes(), 800 * kKiB);

    job_.Handle(Stored("20240315", "20240315120000.jpg", 100 * kKiB, 10 * kKiB), stop_);
    EXPECT_EQ(job_.KeptBytes(), 910 * kKiB);
    job_.Handle(Stored("20240315", "20240315120100.jpg", 100 * kKiB, 10 * kKiB), stop_);
    EXPECT_EQ(job_.KeptBytes(), 1010 * kKiB);
    // 1212 KiB as kept, 1012 KiB in truth: nothing goes, the truth is kept.
    job_.Handle(Stored("20240315", "20240315120200.jpg", 200 * kKiB, 12 * kKiB), stop_);
    EXPECT_EQ(job_.KeptBytes(), 1012 * kKiB);
    EXPECT_THAT(Deleted(), IsEmpty());

    job_.Handle(Stored("20240315", "20240315120300.jpg", 100 * kKiB, 12 * kKiB), stop_);
    EXPECT_THAT(Deleted(), ElementsAre(std::pair(
                               "20240312",
                               std::vector<std::string>{
                                   "20240312/20240312120000.jpg", "20240312/20240312120001.jpg",
                                   "20240312/20240312120002.jpg", "20240312/20240312120003.jpg"})));
    EXPECT_THAT(TakeLines(), ElementsAre("古い日を削除 20240312 (合計の上限1MB, 4ファイル, 400KB)",
                                         "日別ディレクトリ 20240312 にはほかのファイルがあるため、"
                                         "ディレクトリを残します"));
    EXPECT_EQ(job_.KeptBytes(), 712 * kKiB);
}

// The settings are looked at while nothing happens: a change sweeps at once.
TEST_F(DiaryRetentionTest, ChangedSettingsSweepAtTheNextWake) {
    File("20240301", "20240301120000.jpg", 10);
    File("20240315", "20240315110000.jpg", 10);
    job_.Begin(stop_);
    const auto wake = job_.NextWake();
    ASSERT_TRUE(wake.has_value());
    EXPECT_GT(*wake, 0ms);
    EXPECT_LE(*wake, DiaryRetention::kLookAgain);

    settings_.Update([](DiarySettings& s) { s.Section<RetentionSettings>().KEEP_DAYS = 1; });
    EXPECT_EQ(job_.NextWake(), 0ms);
    job_.Wake(stop_);
    EXPECT_EQ(Deleted().size(), 1u);
    EXPECT_GT(*job_.NextWake(), 0ms);
}

// The tab's outlook: the program's files of today and the six days before,
// over the time since the first picture among them.
TEST(DiaryOutlook, RateOfTheLastSevenDaysFromTheirFirstPicture) {
    TempDir save;
    const auto file = [&](const std::string& day, const std::string& name, std::uint64_t bytes) {
        fs::create_directories(save.path() / day);
        WriteFileBytes(save.path() / day / name, std::string(bytes, 'x'));
    };
    file("20240308", "20240308120000.jpg", 900 * kKiB);  // eight days before
    file("20240313", "20240313060000.jpg", 1024 * kKiB);
    file("20240314", "20240314120000.jpg", 1024 * kKiB);
    file("20240314", "notes.txt", 900 * kKiB);
    file("20240315", "20240315120000.jpg", 512 * kKiB);
    file("20240316", "20240316120000.jpg", 900 * kKiB);  // later than now
    std::tm now{};
    now.tm_year = 124;
    now.tm_mon = 2;
    now.tm_mday = 15;
    now.tm_hour = 18;
    StopSignal stop;

    const DiaryOutlook outlook = LookAtDiary(save.str(), "preview.html", now, stop);
    EXPECT_EQ(outlook.error, 0);
    EXPECT_EQ(outlook.recent_bytes, 2560 * kKiB);
    EXPECT_DOUBLE_EQ(outlook.recent_days, 2.5);
    ASSERT_TRUE(outlook.BytesPerDay() && outlook.DaysThatFit());
    EXPECT_DOUBLE_EQ(*outlook.BytesPerDay(), 1024.0 * 1024.0);
    EXPECT_DOUBLE_EQ(*outlook.DaysThatFit(), static_cast<double>(outlook.free_bytes) / 1048576.0);
    EXPECT_GT(outlook.total_bytes, 0u);

    EXPECT_EQ(LookAtDiary(save.str() + "gone/", "preview.html", now, stop).error, ENOENT);
    fs::remove_all(save.path() / "20240313");
    fs::remove_all(save.path() / "20240314");
    fs::remove_all(save.path() / "20240315");
    EXPECT_FALSE(LookAtDiary(save.str(), "preview.html", now, stop).DaysThatFit());
}

}  // namespace

// The timelapse job on a save folder of past, present and future days, driven
// as its events thread drives it.
#include "timelapse/day_timelapse.h"

#include <gtest/gtest.h>

#include <thread>

#include "settings/shared_settings.h"
#include "support/fake_clock.h"
#include "support/local_time.h"
#include "support/recording_notice_sink.h"
#include "support/temp_dir.h"
#include "support/test_video.h"
#include "timelapse/timelapse_settings.h"
#include "web/day_page.h"
#include "web/web_pages.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class RecordingPublisher final : public EventPublisher {
public:
    void Publish(DiaryEvent event) override { events.push_back(std::move(event)); }
    std::vector<DiaryEvent> events;
};

class DayTimelapseTest : public ::testing::Test {
protected:
    DayTimelapseTest() {
        clock_.SetWallClock(LocalTime(2024, 1, 10, 12));
        settings_.Update([&](DiarySettings& s) {
            s.SAVE_DIRECTORY = save_.path().string();
            s.Section<TimelapseSettings>().MAKE = true;
            s.Section<TimelapseSettings>().FPS = 5;
        });
    }

    void Pictures(const fs::path& folder, const std::vector<std::string>& names) {
        fs::create_directories(folder);
        for (std::size_t i = 0; i < names.size(); ++i) {
            const int index = static_cast<int>(i);
            WriteFileBytes(folder / names[i], TestJpegBytes(64, 48, 60 + 10 * index, index));
        }
    }
    fs::path Day(const std::string& day) const { return save_.path() / day; }
    bool HasVideo(const std::string& day) const { return fs::exists(Day(day) / (day + ".webm")); }

    // Runs the job as its thread does until it sleeps with nothing to do.
    void RunUntilIdle() {
        for (int calls = 0; calls < 100; ++calls) {
            const auto wake = job_.NextWake();
            if (!wake) return;
            ASSERT_EQ(*wake, 0ms);
            job_.Wake(stop_);
        }
        FAIL() << "never idle";
    }
    std::vector<std::string> MadeDays() {
        std::vector<std::string> days;
        for (const DiaryEvent& event : publisher_.events) {
            const auto& made = std::get<DayVideoMade>(event);
            EXPECT_EQ(made.save_directory, save_.str());
            EXPECT_EQ(made.path,
                      made.save_directory + made.day_name + "/" + made.day_name + ".webm");
            EXPECT_EQ(made.pages, std::vector<std::string>{made.save_directory + made.day_name +
                                                           "/preview.html"});
            days.push_back(made.day_name);
        }
        publisher_.events.clear();
        return days;
    }

    TempDir save_;
    TempDir elsewhere_;
    FakeClock clock_;
    SharedSettings settings_;
    RecordingNoticeSink notices_;
    WebPages pages_{notices_};
    RecordingPublisher publisher_;
    std::vector<std::string> lines_;
    StopSignal stop_;
    DiaryEvents events_;
    DayTimelapse job_{
        {.settings = settings_,
         .events = events_,
         .publish = publisher_,
         .clock = clock_,
         .post_line =
             [this](const LogText& l) {
                 // As designed: no translator is installed.
                 EXPECT_EQ(l.shown, l.designed);
                 lines_.push_back(l.designed);
             },
         .rewrite_past_day_page =
             [this](const std::string& save, const std::string& day,
                    const DiarySettings& settings) {
                 return pages_.RewritePastDayPage(save, day, settings);
             },
         .link_day_videos = [this](DayVideoLink link) { pages_.LinkDayVideos(std::move(link)); }}};
};

TEST_F(DayTimelapseTest, PastDaysNewestFirstNeverTodayTheFutureOrALinkedFolder) {
    Pictures(Day("20240103"),
             {"20240103080000.jpg", "20240103090000.jpg", "holiday.jpg", "20240103100000.jpg"});
    Pictures(Day("20240105"), {"20240105230000.jpg", "20240105230000_001.jpg"});
    Pictures(Day("20240110"), {"20240110080000.jpg"});
    Pictures(Day("20240111"), {"20240111080000.jpg"});
    Pictures(save_.path() / "misc", {"20240101080000.jpg"});
    Pictures(elsewhere_.path() / "20240106", {"20240106080000.jpg"});
    fs::create_directory_symlink(elsewhere_.path() / "20240106", Day("20240106"));
    // A day whose video is there but whose page missed the link (a kill
    // between the two).
    Pictures(Day("20240104"), {"20240104080000.jpg"});
    WriteFileBytes(Day("20240104") / "20240104.webm", "made before");
    WriteFileBytes(Day("20240104") / "preview.html", "old page</body></html>\r\n");
    // What kills left: our temporary file goes at the start, nothing else.
    fs::create_directories(Day("20240107"));
    WriteFileBytes(Day("20240107") / "20240107.webm.tmp", "cut off");
    WriteFileBytes(Day("20240107") / "notes.tmp", "kept");
    WriteFileBytes(elsewhere_.path() / "20240106" / "20240106.webm.tmp", "kept");

    job_.Begin(stop_);
    EXPECT_FALSE(fs::exists(Day("20240107") / "20240107.webm.tmp"));
    EXPECT_EQ(ReadFileBytes(Day("20240107") / "notes.tmp"), "kept");
    EXPECT_EQ(ReadFileBytes(elsewhere_.path() / "20240106" / "20240106.webm.tmp"), "kept");

    RunUntilIdle();
    EXPECT_EQ(MadeDays(), (std::vector<std::string>{"20240105", "20240104", "20240103"}));
    for (const char* day : {"20240103", "20240104", "20240105"}) {
        EXPECT_TRUE(
            DayPageLinksVideo((Day(day) / "preview.html").string(), std::string(day) + ".webm"))
            << day;
    }
    EXPECT_EQ(ReadFileBytes(Day("20240104") / "20240104.webm"), "made before");
    for (const char* day : {"20240106", "20240110", "20240111"}) EXPECT_FALSE(HasVideo(day)) << day;
    EXPECT_FALSE(fs::exists(save_.path() / "misc" / "misc.webm"));
    EXPECT_EQ(DecodeVideoFile((Day("20240103") / "20240103.webm").string()).frames, 3);
    ASSERT_EQ(lines_.size(), 2u);
    EXPECT_TRUE(lines_[0].starts_with("タイムラプス動画を作成 20240105 (2コマ, 0.4秒, "))
        << lines_[0];
    EXPECT_TRUE(lines_[1].starts_with("タイムラプス動画を作成 20240103 (3コマ, 0.6秒, "))
        << lines_[1];
    EXPECT_TRUE(notices_.codes().empty());

    // The next day begins: yesterday is over.
    clock_.SetWallClock(LocalTime(2024, 1, 11, 0, 0, 5));
    job_.Handle(DayBegun{save_.str(), "20240111"}, stop_);
    RunUntilIdle();
    EXPECT_EQ(MadeDays(), std::vector<std::string>{"20240110"});
    EXPECT_FALSE(HasVideo("20240111"));
}

TEST_F(DayTimelapseTest, OffItOnlyLooksAgainLaterABrokenDayIsSaidOnce) {
    Pictures(Day("20240105"), {"20240105080000.jpg"});
    fs::create_directories(Day("20240104"));
    WriteFileBytes(Day("20240104") / "20240104080000.jpg", "broken");
    settings_.Update([](DiarySettings& s) { s.Section<TimelapseSettings>().MAKE = false; });
    job_.Begin(stop_);
    EXPECT_EQ(job_.NextWake(), DayTimelapse::kLookAgain);
    job_.Wake(stop_);
    EXPECT_FALSE(HasVideo("20240105"));

    settings_.Update([](DiarySettings& s) { s.Section<TimelapseSettings>().MAKE = true; });
    RunUntilIdle();
    EXPECT_EQ(MadeDays(), std::vector<std::string>{"20240105"});
    ASSERT_EQ(lines_.size(), 2u);
    EXPECT_EQ(lines_[1], "タイムラプス動画を作成できません 20240104 (読める画像がありません)");
    // Not tried again in this run, even when another day begins.
    job_.Handle(DayBegun{save_.str(), "20240110"}, stop_);
    RunUntilIdle();
    EXPECT_EQ(lines_.size(), 2u);
}

// A store under way holds the video back until it has ended.
TEST_F(DayTimelapseTest, AVideoGivesWayToAStore) {
    Pictures(Day("20240105"), {"20240105080000.jpg", "20240105090000.jpg"});
    events_.Publish(StoreComing{save_.str()});
    EXPECT_TRUE(events_.StoreUnderWay());
    std::thread waker([&] { RunUntilIdle(); });
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(fs::exists(Day("20240105") / "20240105.webm.tmp"));
    EXPECT_FALSE(HasVideo("20240105"));
    events_.Publish(PictureStored{});
    EXPECT_FALSE(events_.StoreUnderWay());
    waker.join();
    EXPECT_EQ(MadeDays(), std::vector<std::string>{"20240105"});

    events_.Publish(StoreComing{save_.str()});
    events_.Publish(StoreFailed{257});
    EXPECT_FALSE(events_.StoreUnderWay());
}

}  // namespace

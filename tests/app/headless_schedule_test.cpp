// The recording hours, set times, the interval on the clock and the dark
// pictures, with the real program on a clock of libfaketime's (the
// monotonic clock stays real) in Europe/Berlin.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>
#include <fstream>

#include "app/headless_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kFakeTimeLibrary = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";

std::vector<std::string> LinesOf(const fs::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class HeadlessScheduleTest : public HeadlessDiaryTest {
protected:
    // The program's clock at a moment of 2026 given in UTC, as an offset
    // from the real clock, which runs on from there.
    void SetClockUtc(int month, int day, int hour, int minute, int second) {
        std::tm t{};
        t.tm_year = 2026 - 1900;
        t.tm_mon = month - 1;
        t.tm_mday = day;
        t.tm_hour = hour;
        t.tm_min = minute;
        t.tm_sec = second;
        const long offset = static_cast<long>(timegm(&t) - std::time(nullptr));
        WriteFileBytes(clock_file_, (offset < 0 ? "" : "+") + std::to_string(offset) + "\n");
    }
    // Berlin's summer time (UTC+2) in June.
    void SetClock(int day, int hour, int minute, int second) {
        SetClockUtc(6, day, hour - 2, minute, second);
    }
    std::vector<std::string> FakeClockEnvironment() const {
        return {"LD_PRELOAD=" + std::string(kFakeTimeLibrary),
                "FAKETIME_TIMESTAMP_FILE=" + clock_file_.string(), "FAKETIME_NO_CACHE=1",
                "FAKETIME_DONT_FAKE_MONOTONIC=1", "TZ=Europe/Berlin"};
    }
    // The seconds of the pictures' names (hhmmss) of one day.
    std::vector<std::string> TimesOf(const std::string& day) const {
        std::vector<std::string> times;
        for (const std::string& name : PictureNames(diary_)) {
            if (name.starts_with(day + "/")) times.push_back(name.substr(17, 6));
        }
        return times;
    }

    fs::path clock_file_ = home_.path() / "faketime.rc";
};

// 22:00-06:00 with a 5 s interval on the clock, a set time at 21:59 and the
// camera let go outside the hours. From 21:58:52 the diary waits (one line),
// takes the set time (trigger "time"); from 21:59:45 it opens the camera
// again and stores its first interval picture at 22:00:00, and every
// interval picture lies on the grid. A clock set back over the set time
// does not take it again and pauses once more; the range runs on over
// midnight into the next day's folder, and ends at 06:00 with one line that
// says until when.
TEST_F(HeadlessScheduleTest, HoursAcrossMidnightSetTimesAndTheIntervalOnTheClock) {
    if (!fs::exists(kFakeTimeLibrary)) GTEST_SKIP() << "libfaketime missing: scripts/install-deps";
    const fs::path triggers = home_.path() / "triggers";
    WriteSetup(5, false,
               {"[CAPTURE]", "SETTLE_MAX_MS=1000", "[SCHEDULE]", "HOURS=22:00-06:00", "AT=21:59",
                "ALIGN_INTERVAL=on", "RELEASE_CAMERA=on", "[EVENTS]",
                "ON_PICTURE=sh -c 'echo \"$QUILLOMAT_TRIGGER $QUILLOMAT_TIME\" >> \"$1\"' sh '" +
                    triggers.string() + "'"});
    WriteDevice("Cam", 320, 240);
    SetClock(10, 21, 58, 52);
    Start("Cam:bars", FakeClockEnvironment());

    const std::string paused = "録画時間外のため記録を休止します（22:00 まで）";
    const std::string resumed = "録画時間になりました。記録を再開します";
    ASSERT_TRUE(WaitUntil([&] { return TimesOf("20260610").size() >= 1; }, kConditionLimit))
        << Transcript();
    SetClock(10, 21, 59, 45);
    ASSERT_TRUE(process_.WaitForLogLine(resumed, 1, kConditionLimit)) << Transcript();
    ASSERT_TRUE(WaitUntil([&] { return TimesOf("20260610").size() >= 3; }, kConditionLimit))
        << Transcript();
    {
        const std::vector<std::string> times = TimesOf("20260610");
        EXPECT_EQ(times[0], "215900") << "the set time, outside the hours";
        EXPECT_EQ(times[1], "220000") << "the range's first picture on time";
        EXPECT_EQ(times[2], "220005");
    }
    EXPECT_EQ(process_.CountLogLines(paused), 1) << Transcript();

    // Back to before the set time, which was taken today already, and on
    // past it.
    SetClock(10, 21, 58, 58);
    ASSERT_TRUE(process_.WaitForLogLine(paused, 2, kConditionLimit)) << Transcript();
    std::this_thread::sleep_for(4s);
    const std::size_t pictures_said = LinesOf(triggers).size();
    SetClock(10, 21, 59, 57);
    ASSERT_TRUE(process_.WaitForLogLine(resumed, 2, kConditionLimit)) << Transcript();
    // The range's first picture is stored before the clock steps on: a step
    // while it is being taken names it by the new clock, off the grid.
    ASSERT_TRUE(
        WaitUntil([&] { return LinesOf(triggers).size() > pictures_said; }, kConditionLimit))
        << Transcript();

    // Over midnight within the range, then to its end.
    SetClock(10, 23, 59, 57);
    ASSERT_TRUE(WaitUntil([&] { return TimesOf("20260611").size() >= 2; }, kConditionLimit))
        << Transcript();
    SetClock(11, 5, 59, 56);
    ASSERT_TRUE(process_.WaitForLogLine(paused, 3, kConditionLimit)) << Transcript();
    std::this_thread::sleep_for(2s);
    StopAndExpectCleanExit();

    EXPECT_EQ(process_.CountLogLines(resumed), 2) << "no resume at midnight";
    std::vector<std::string> all = TimesOf("20260610");
    for (const std::string& time : TimesOf("20260611")) all.push_back(time);
    ASSERT_FALSE(all.empty());
    for (std::size_t i = 1; i < all.size(); ++i) {
        SCOPED_TRACE(all[i]);
        EXPECT_EQ(std::stoi(all[i]) % 5, 0) << "on the grid";
        EXPECT_TRUE(all[i] >= "220000" || all[i] < "060000") << "inside the hours";
    }
    const std::vector<std::string> lines = LinesOf(triggers);
    int set_times = 0;
    for (const std::string& line : lines) set_times += line.starts_with("time ");
    EXPECT_EQ(set_times, 1) << "taken once, not again after the step back";
    ASSERT_FALSE(lines.empty());
    EXPECT_THAT(lines[0], ::testing::StartsWith("time 2026-06-10T21:59:00"));
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
}

// A set time in the hour that summer time skips (02:30 on 2026-03-29 in
// Berlin) is taken at the moment an hour later, once; in the hour that the
// end of summer time brings twice (2026-10-25) it is taken at its first
// 02:30 and not again at the second.
TEST_F(HeadlessScheduleTest, SummerTimeNeitherDoublesNorLosesASetTime) {
    if (!fs::exists(kFakeTimeLibrary)) GTEST_SKIP() << "libfaketime missing: scripts/install-deps";
    WriteSetup(0, false, {"[SCHEDULE]", "AT=02:30"});
    WriteDevice("Cam", 320, 240);

    SetClockUtc(3, 29, 0, 59, 56);  // 01:59:56 CET, four seconds before 03:00 CEST
    Start("Cam:bars", FakeClockEnvironment());
    std::this_thread::sleep_for(6s);  // over 02:00 CET, which becomes 03:00 CEST
    EXPECT_EQ(PictureCount(), 0u) << "nothing before the set time";
    SetClockUtc(3, 29, 1, 29, 56);  // 03:29:56 CEST
    ASSERT_TRUE(WaitForPictures(1)) << Transcript();
    StopAndExpectCleanExit();
    EXPECT_EQ(TimesOf("20260329"), std::vector<std::string>{"033000"});

    SetClockUtc(10, 25, 0, 29, 56);  // 02:29:56 CEST
    Start("Cam:bars", FakeClockEnvironment());
    ASSERT_TRUE(WaitUntil([&] { return TimesOf("20261025").size() >= 1; }, kConditionLimit))
        << Transcript();
    SetClockUtc(10, 25, 1, 29, 56);  // 02:29:56 CET, the same clock time an hour on
    std::this_thread::sleep_for(8s);
    StopAndExpectCleanExit();
    EXPECT_EQ(TimesOf("20261025"), std::vector<std::string>{"023000"}) << Transcript();
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
}

// A scene that goes dark: its interval pictures are not stored, which is
// said once when it begins and once, with the count, when the picture is
// bright again; a dark picture is no failure.
TEST_F(HeadlessScheduleTest, DarkPicturesAreSkippedAndTheRunIsSaidOnce) {
    const fs::path dark = home_.path() / "dark";
    WriteFileBytes(dark, "");
    WriteSetup(1, false, {"[SCHEDULE]", "SKIP_DARK_BELOW=40"});
    WriteDevice("Cam", 320, 240);
    Start("Cam:bars:dark=" + dark.string());
    const std::string begins_prefix = "暗いため画像を保存しません（明るさ ";
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (const std::string& line : LogTexts(process_.Output()))
                if (line.starts_with(begins_prefix)) return true;
            return !process_.Running();
        },
        kConditionLimit))
        << Transcript();
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(PictureCount(), 0u) << Transcript();
    fs::remove(dark);
    ASSERT_TRUE(WaitForPictures(2)) << Transcript();
    StopAndExpectCleanExit();

    std::vector<std::string> begins;
    std::vector<std::string> ends;
    for (const std::string& line : LogTexts(process_.Output())) {
        if (line.starts_with(begins_prefix)) begins.push_back(line);
        if (line.starts_with("明るくなりました。")) ends.push_back(line);
    }
    ASSERT_EQ(begins.size(), 1u) << Transcript();
    EXPECT_EQ(begins[0], begins_prefix + "0、しきい値 40）") << "black, in the picture's own range";
    ASSERT_EQ(ends.size(), 1u) << Transcript();
    const std::string count_text = ends[0].substr(ends[0].find("画像 ") + 7);
    EXPECT_GE(std::stoi(count_text), 2) << ends[0];
    EXPECT_EQ(process_.CountLogLines(kPictureFailedLine), 0) << Transcript();
}

}  // namespace

#include "schedule/recording_hours.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/local_time.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

RecordingHours Read(const ScheduleSettings& settings) {
    std::vector<ScheduleProblem> problems;
    RecordingHours hours = RecordingHours::From(settings, &problems);
    for (const ScheduleProblem& problem : problems) {
        ADD_FAILURE() << problem.key << " = " << problem.text << ": " << problem.why;
    }
    return hours;
}

RecordingSpan Span(std::time_t begin, std::time_t end) { return {begin, end}; }

TEST(RecordingHoursTest, RangeAcrossMidnightBelongsToItsFirstDay) {
    ScopedTimeZone zone("Europe/Berlin");
    ScheduleSettings settings;
    settings.HOURS = "22:00-06:00";
    const RecordingHours during = Read(settings);
    ASSERT_TRUE(during.HasHours());

    const auto before = during.At(LocalTime(2026, 6, 10, 21, 59));
    EXPECT_FALSE(before.recording);
    EXPECT_EQ(before.until, LocalTime(2026, 6, 10, 22, 0));
    const auto late = during.At(LocalTime(2026, 6, 10, 23, 0));
    EXPECT_TRUE(late.recording);
    EXPECT_EQ(late.until, LocalTime(2026, 6, 11, 6, 0));
    // After midnight the range of the day before still runs.
    const auto early = during.At(LocalTime(2026, 6, 11, 0, 30));
    EXPECT_TRUE(early.recording);
    EXPECT_EQ(early.until, LocalTime(2026, 6, 11, 6, 0));
    EXPECT_THAT(during.SpansOfDay(2026, 6, 11),
                ElementsAre(Span(LocalTime(2026, 6, 11, 0, 0), LocalTime(2026, 6, 11, 6, 0)),
                            Span(LocalTime(2026, 6, 11, 22, 0), LocalTime(2026, 6, 12, 0, 0))));

    settings.MODE = "outside";
    const RecordingHours outside = Read(settings);
    const auto day = outside.At(LocalTime(2026, 6, 10, 21, 59));
    EXPECT_TRUE(day.recording);
    EXPECT_EQ(day.until, LocalTime(2026, 6, 10, 22, 0));
    const auto night = outside.At(LocalTime(2026, 6, 10, 23, 0));
    EXPECT_FALSE(night.recording);
    EXPECT_EQ(night.until, LocalTime(2026, 6, 11, 6, 0));
    EXPECT_THAT(outside.SpansOfDay(2026, 6, 11),
                ElementsAre(Span(LocalTime(2026, 6, 11, 6, 0), LocalTime(2026, 6, 11, 22, 0))));
}

TEST(RecordingHoursTest, TouchingRangesAndWeekdaysMakeOneSpan) {
    ScopedTimeZone zone("Europe/Berlin");
    ScheduleSettings settings;
    // 2026-06-12 is a Friday: its evening runs into Saturday's own range.
    settings.HOURS = "18:00-24:00";
    settings.SAT = "00:00-08:00, 07:00-09:00";
    settings.SUN = "";
    const RecordingHours hours = Read(settings);
    const auto friday = hours.At(LocalTime(2026, 6, 12, 20, 0));
    EXPECT_TRUE(friday.recording);
    EXPECT_EQ(friday.until, LocalTime(2026, 6, 13, 9, 0));
    // Sunday has no range: from Saturday 09:00 on, Monday 18:00 comes next.
    const auto saturday = hours.At(LocalTime(2026, 6, 13, 9, 0));
    EXPECT_FALSE(saturday.recording);
    EXPECT_EQ(saturday.until, LocalTime(2026, 6, 15, 18, 0));
    EXPECT_THAT(hours.SpansOfDay(2026, 6, 14), IsEmpty());
}

TEST(RecordingHoursTest, SummerTimeChangesGiveRealLengths) {
    ScopedTimeZone zone("Europe/Berlin");
    ScheduleSettings settings;
    settings.HOURS = "01:00-05:00";
    settings.AT = "02:30";
    const RecordingHours hours = Read(settings);

    // 2026-03-29: 02:00 CET becomes 03:00 CEST (01:00 UTC).
    EXPECT_THAT(hours.SpansOfDay(2026, 3, 29),
                ElementsAre(Span(Utc(2026, 3, 29, 0, 0), Utc(2026, 3, 29, 3, 0))));
    // 02:30 does not exist that day: it is 03:30 CEST.
    EXPECT_THAT(hours.SetTimesOfDay(2026, 3, 29), ElementsAre(Utc(2026, 3, 29, 1, 30)));

    // 2026-10-25: 03:00 CEST becomes 02:00 CET (01:00 UTC).
    EXPECT_THAT(hours.SpansOfDay(2026, 10, 25),
                ElementsAre(Span(Utc(2026, 10, 24, 23, 0), Utc(2026, 10, 25, 4, 0))));
    // 02:30 comes twice: the first, in summer time.
    EXPECT_THAT(hours.SetTimesOfDay(2026, 10, 25), ElementsAre(Utc(2026, 10, 25, 0, 30)));
    const auto second_pass = hours.At(Utc(2026, 10, 25, 1, 30));  // 02:30 CET
    EXPECT_TRUE(second_pass.recording);
    EXPECT_EQ(second_pass.until, Utc(2026, 10, 25, 4, 0));
}

TEST(RecordingHoursTest, SunriseAndSunsetInBerlin) {
    ScopedTimeZone zone("Europe/Berlin");
    ScheduleSettings settings;
    settings.LATITUDE = "52.52";
    settings.LONGITUDE = "13.405";
    settings.HOURS = "sunrise-00:30-sunset+00:15";
    const RecordingHours hours = Read(settings);
    ASSERT_TRUE(hours.HasPlace());

    // timeanddate.com, "Sunrise and sunset times in Berlin" for 2026:
    // June 21 04:43 / 21:33 CEST, December 21 08:15 / 15:54 CET. Within a
    // minute: the sun of the wrong equinox (J2000) is about 1.5 minutes off.
    const auto minutes = [](int hour, int minute) { return (hour * 60L + minute) * 60; };
    const auto june = hours.Sun(2026, 6, 21);
    ASSERT_TRUE(june);
    EXPECT_EQ(june->kind, SunDay::Kind::kRisesAndSets);
    EXPECT_NEAR(june->sunrise_s, minutes(4, 43), 60);
    EXPECT_NEAR(june->sunset_s, minutes(21, 33), 60);
    const auto december = hours.Sun(2026, 12, 21);
    ASSERT_TRUE(december);
    EXPECT_NEAR(december->sunrise_s, minutes(8, 15), 60);
    EXPECT_NEAR(december->sunset_s, minutes(15, 54), 60);

    const auto spans = hours.SpansOfDay(2026, 6, 21);
    ASSERT_EQ(spans.size(), 1u);
    const std::time_t midnight = LocalTime(2026, 6, 21, 0, 0);
    EXPECT_EQ(spans[0].begin, midnight + june->sunrise_s - 30 * 60);
    EXPECT_EQ(spans[0].end, midnight + june->sunset_s + 15 * 60);
}

TEST(RecordingHoursTest, PolarDayAndNightInLongyearbyen) {
    ScopedTimeZone zone("Europe/Oslo");
    ScheduleSettings settings;
    settings.LATITUDE = "78.22";
    settings.LONGITUDE = "15.65";
    settings.HOURS = "sunrise-sunset";
    settings.AT = "sunset";
    const RecordingHours day = Read(settings);

    const auto june = day.Sun(2026, 6, 21);
    ASSERT_TRUE(june);
    EXPECT_EQ(june->kind, SunDay::Kind::kPolarDay);
    EXPECT_THAT(day.SpansOfDay(2026, 6, 21),
                ElementsAre(Span(LocalTime(2026, 6, 21, 0, 0), LocalTime(2026, 6, 22, 0, 0))));
    EXPECT_FALSE(day.At(LocalTime(2026, 6, 21, 12, 0)).until);

    const auto december = day.Sun(2026, 12, 21);
    ASSERT_TRUE(december);
    EXPECT_EQ(december->kind, SunDay::Kind::kPolarNight);
    EXPECT_EQ(december->sunrise_s, december->sunset_s);
    // The highest point: noon at 15.65 E is 10:57 UTC, 2 minutes earlier by
    // the equation of time that day: 11:55 CET.
    EXPECT_NEAR(december->sunrise_s, (11 * 60 + 55) * 60, 180);
    EXPECT_THAT(day.SpansOfDay(2026, 12, 21), IsEmpty());
    EXPECT_FALSE(day.At(LocalTime(2026, 12, 21, 11, 55)).recording);

    // No set time at a sunset that does not come; on an ordinary day it does.
    EXPECT_THAT(day.SetTimesOfDay(2026, 6, 21), IsEmpty());
    EXPECT_THAT(day.SetTimesOfDay(2026, 12, 21), IsEmpty());
    EXPECT_EQ(day.SetTimesOfDay(2026, 3, 1).size(), 1u);

    settings.HOURS = "sunset-sunrise";
    const RecordingHours night = Read(settings);
    EXPECT_THAT(night.SpansOfDay(2026, 12, 21),
                ElementsAre(Span(LocalTime(2026, 12, 21, 0, 0), LocalTime(2026, 12, 22, 0, 0))));
    EXPECT_THAT(night.SpansOfDay(2026, 6, 21), IsEmpty());
}

TEST(RecordingHoursTest, EachBadTextIsOneProblemAndReadsAsUnset) {
    ScopedTimeZone zone("Europe/Berlin");
    struct Case {
        std::function<void(ScheduleSettings&)> set;
        const char* key;
        const char* text;
    };
    const std::vector<Case> cases = {
        {[](ScheduleSettings& s) { s.HOURS = "7-19"; }, "HOURS", "7-19"},
        {[](ScheduleSettings& s) { s.HOURS = "07:00-07:00"; }, "HOURS", "07:00-07:00"},
        {[](ScheduleSettings& s) { s.HOURS = "08:00-12:00,sunrise-sunset"; }, "HOURS",
         "08:00-12:00,sunrise-sunset"},
        {[](ScheduleSettings& s) { s.MON = "09:00-25:00"; }, "MON", "09:00-25:00"},
        {[](ScheduleSettings& s) { s.MODE = "inside"; }, "MODE", "inside"},
        {[](ScheduleSettings& s) {
             s.LATITUDE = "52,52";
             s.LONGITUDE = "13.4";
         },
         "LATITUDE", "52,52"},
        {[](ScheduleSettings& s) {
             s.LATITUDE = "52.52";
             s.LONGITUDE = "200";
         },
         "LONGITUDE", "200"},
        {[](ScheduleSettings& s) { s.AT = "12:00,25:00"; }, "AT", "12:00,25:00"},
        {[](ScheduleSettings& s) { s.AT = "sunset+1:00"; }, "AT", "sunset+1:00"},
    };
    for (const Case& c : cases) {
        ScheduleSettings settings;
        c.set(settings);
        std::vector<ScheduleProblem> problems;
        RecordingHours::From(settings, &problems);
        ASSERT_EQ(problems.size(), 1u) << c.text;
        EXPECT_EQ(problems[0].key, c.key);
        EXPECT_EQ(problems[0].text, c.text);
        EXPECT_FALSE(problems[0].why.empty());
    }

    ScheduleSettings settings;
    settings.HOURS = "7-19";
    const RecordingHours no_hours = RecordingHours::From(settings, nullptr);
    EXPECT_FALSE(no_hours.HasHours());
    const auto always = no_hours.At(LocalTime(2026, 6, 10, 3, 0));
    EXPECT_TRUE(always.recording);
    EXPECT_FALSE(always.until);

    // The sun without a place drops HOURS whole; TUE still counts.
    settings.HOURS = "sunrise-sunset";
    settings.TUE = "10:00-11:00";
    settings.LATITUDE = "52,52";
    settings.LONGITUDE = "13.4";
    settings.MODE = "inside";
    settings.AT = "12:00,25:00";
    std::vector<ScheduleProblem> problems;
    const RecordingHours rest = RecordingHours::From(settings, &problems);
    EXPECT_EQ(problems.size(), 4u);
    EXPECT_TRUE(rest.HasHours());
    EXPECT_FALSE(rest.HasPlace());
    // 2026-06-09 is a Tuesday; MODE reads as during.
    EXPECT_THAT(rest.SpansOfDay(2026, 6, 9),
                ElementsAre(Span(LocalTime(2026, 6, 9, 10, 0), LocalTime(2026, 6, 9, 11, 0))));
    EXPECT_THAT(rest.SpansOfDay(2026, 6, 10), IsEmpty());
    EXPECT_THAT(rest.SetTimesOfDay(2026, 6, 10), ElementsAre(LocalTime(2026, 6, 10, 12, 0)));
}

TEST(NextGridPointTest, MultiplesOfTheIntervalFromEachMidnight) {
    ScopedTimeZone zone("Europe/Berlin");
    EXPECT_EQ(NextGridPoint(LocalTime(2026, 6, 10, 10, 0, 1), 600), LocalTime(2026, 6, 10, 10, 10));
    EXPECT_EQ(NextGridPoint(LocalTime(2026, 6, 10, 10, 10), 600), LocalTime(2026, 6, 10, 10, 10));
    // Seven minutes: 23:55 is on the grid, then it starts again at 00:00.
    EXPECT_EQ(NextGridPoint(LocalTime(2026, 6, 10, 23, 54, 59), 420),
              LocalTime(2026, 6, 10, 23, 55));
    EXPECT_EQ(NextGridPoint(LocalTime(2026, 6, 10, 23, 55, 1), 420), LocalTime(2026, 6, 11, 0, 0));

    // 01:55 CET, then the clock shows 03:00 CEST.
    EXPECT_EQ(NextGridPoint(Utc(2026, 3, 29, 0, 55), 600), Utc(2026, 3, 29, 1, 0));
    // 02:55 CEST, then 02:00 CET: the hour shown twice keeps its grid.
    EXPECT_EQ(NextGridPoint(Utc(2026, 10, 25, 0, 55), 600), Utc(2026, 10, 25, 1, 0));
    EXPECT_EQ(NextGridPoint(Utc(2026, 10, 25, 1, 0, 1), 600), Utc(2026, 10, 25, 1, 10));
    // Seven minutes over the changes: from 01:59:30 CET the clock jumps to
    // 03:00 CEST and shows a multiple at 03:02; from 02:59:30 CEST it goes
    // back to 02:00 CET and shows one at 02:06.
    EXPECT_EQ(NextGridPoint(Utc(2026, 3, 29, 0, 59, 30), 420), Utc(2026, 3, 29, 1, 2));
    EXPECT_EQ(NextGridPoint(Utc(2026, 10, 25, 0, 59, 30), 420), Utc(2026, 10, 25, 1, 6));
}

}  // namespace

#include "schedule/set_times.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "support/local_time.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

RecordingHours SetTimes(const char* at, const char* latitude = "", const char* longitude = "") {
    ScheduleSettings settings;
    settings.AT = at;
    settings.LATITUDE = latitude;
    settings.LONGITUDE = longitude;
    std::vector<ScheduleProblem> problems;
    RecordingHours hours = RecordingHours::From(settings, &problems);
    EXPECT_THAT(problems, IsEmpty());
    return hours;
}

// The moments at which Due says yes while the clock runs from `from` to
// `to` in steps of `step` seconds.
std::vector<std::time_t> DueWhileRunning(SetTimeTracker& tracker, std::time_t from, std::time_t to,
                                         std::time_t step) {
    std::vector<std::time_t> due;
    for (std::time_t now = from; now <= to; now += step) {
        if (tracker.Due(now)) due.push_back(now);
    }
    return due;
}

TEST(SetTimeTrackerTest, TakesATimeOnceAndLetsLongGapsGo) {
    ScopedTimeZone zone("Europe/Berlin");
    const RecordingHours hours = SetTimes("12:00");
    const std::time_t noon = LocalTime(2026, 6, 10, 12, 0);
    const std::time_t next_noon = LocalTime(2026, 6, 11, 12, 0);

    // Passed before the start: not made up, even a few seconds after.
    SetTimeTracker started_late(hours, noon + 30);
    EXPECT_FALSE(started_late.Due(noon + 31));
    EXPECT_EQ(started_late.Next(noon + 31), next_noon);

    // A 30 s step over it takes it; a step back over it does not take it again.
    SetTimeTracker stepping(hours, noon - 10);
    EXPECT_EQ(stepping.Next(noon - 10), noon);
    EXPECT_FALSE(stepping.Due(noon - 5));
    EXPECT_TRUE(stepping.Due(noon + 25));
    EXPECT_FALSE(stepping.Due(noon + 26));
    EXPECT_FALSE(stepping.Due(noon - 120));
    EXPECT_EQ(stepping.Next(noon - 120), next_noon);
    EXPECT_FALSE(stepping.Due(noon + 1));
    EXPECT_TRUE(stepping.Due(next_noon));

    // Two hours later (a suspend): let go, the next day's still comes.
    SetTimeTracker suspended(hours, noon - 10);
    EXPECT_FALSE(suspended.Due(noon + 2 * 3600));
    EXPECT_FALSE(suspended.Due(noon + 2 * 3600 + 1));
    EXPECT_EQ(suspended.Next(noon + 2 * 3600), next_noon);
    EXPECT_THAT(DueWhileRunning(suspended, next_noon - 60, next_noon + 60, 7),
                ElementsAre(next_noon + 3));
}

TEST(SetTimeTrackerTest, SummerTimeChangesTakeATimeOnce) {
    ScopedTimeZone zone("Europe/Berlin");
    const RecordingHours hours = SetTimes("02:30");

    // The hour from 02:00 does not exist: 02:30 is taken at 03:30 CEST.
    SetTimeTracker spring(hours, Utc(2026, 3, 28, 23, 0));
    EXPECT_THAT(DueWhileRunning(spring, Utc(2026, 3, 28, 23, 0), Utc(2026, 3, 29, 4, 0), 10),
                ElementsAre(Utc(2026, 3, 29, 1, 30)));

    // 02:30 comes twice: taken at the first, not again an hour later.
    SetTimeTracker autumn(hours, Utc(2026, 10, 24, 22, 0));
    EXPECT_THAT(DueWhileRunning(autumn, Utc(2026, 10, 24, 22, 0), Utc(2026, 10, 25, 4, 0), 10),
                ElementsAre(Utc(2026, 10, 25, 0, 30)));
}

TEST(SetTimeTrackerTest, NoSunsetInThePolarNight) {
    ScopedTimeZone zone("Europe/Oslo");
    const RecordingHours hours = SetTimes("sunset", "78.22", "15.65");
    const std::time_t midnight = LocalTime(2026, 12, 21, 0, 0);
    SetTimeTracker night(hours, midnight);
    EXPECT_THAT(DueWhileRunning(night, midnight, LocalTime(2026, 12, 22, 0, 0), 30), IsEmpty());
    EXPECT_FALSE(night.Next(midnight));

    // Where the sun sets, it is taken once that afternoon.
    const std::time_t march = LocalTime(2026, 3, 1, 0, 0);
    SetTimeTracker day(hours, march);
    const auto sunset = day.Next(march);
    ASSERT_TRUE(sunset);
    EXPECT_GT(*sunset, LocalTime(2026, 3, 1, 15, 0));
    EXPECT_LT(*sunset, LocalTime(2026, 3, 1, 17, 0));
    EXPECT_EQ(DueWhileRunning(day, march, LocalTime(2026, 3, 2, 0, 0), 30).size(), 1u);
}

}  // namespace

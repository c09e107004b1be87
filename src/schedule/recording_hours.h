#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "schedule/schedule_settings.h"

// A key of [SCHEDULE] that could not be used as written; it reads as unset.
struct ScheduleProblem {
    std::string key;
    std::string text;
    std::string why;  // English, one sentence: "is not a time of day."
};

// The sun on one local day, as seconds after that day's local midnight (so
// a day of 23 or 25 hours may give values up to 90000). A day without a
// sunrise or a sunset has a defined answer: in a polar day the sun counts
// as rising at 00:00 and setting at 24:00 (a sunrise-sunset range covers
// the whole day); in a polar night both are at the sun's highest point, so
// sunrise-sunset is empty. Set times at sunrise or sunset are not taken on
// such days.
struct SunDay {
    enum class Kind { kRisesAndSets, kPolarDay, kPolarNight };
    Kind kind = Kind::kRisesAndSets;
    long sunrise_s = 0;
    long sunset_s = 0;
};

// [begin, end) in seconds since the epoch.
struct RecordingSpan {
    std::time_t begin = 0;
    std::time_t end = 0;
    bool operator==(const RecordingSpan&) const = default;
};

// The recording hours and set times of [SCHEDULE], evaluated in the local
// time zone (TZ) of each day, summer time included. A range belongs to the
// day it begins on; one whose end is not after its begin ends the next day
// (22:00-06:00). A range whose begin and end are the same clock time is
// refused. Clock times that do not exist on a summer-time start day are the
// hour after (02:30 is 03:30); times that exist twice are the first.
class RecordingHours {
public:
    // Every key that cannot be used is added to `problems` (when not null)
    // and reads as unset: a bad HOURS means no recording hours at all, a bad
    // part of AT drops that time only. sunrise and sunset without a usable
    // LATITUDE and LONGITUDE are a problem of the key that uses them.
    static RecordingHours From(const ScheduleSettings& settings,
                               std::vector<ScheduleProblem>* problems);

    // False: every hour records (no HOURS and no weekday key).
    bool HasHours() const;
    bool HasSetTimes() const;
    bool HasPlace() const;

    struct State {
        bool recording = true;
        // The next change of `recording` within the next eight days, if any.
        std::optional<std::time_t> until;
    };
    // Costs a few sun computations: callers keep `until` and ask again then.
    State At(std::time_t now) const;

    // The spans in which the diary records that overlap the local day of
    // (year, month 1-12, day), clipped to it, after MODE; for the tab's bar.
    std::vector<RecordingSpan> SpansOfDay(int year, int month, int day) const;

    // The sun on that local day; nullopt without a usable place.
    std::optional<SunDay> Sun(int year, int month, int day) const;

    // The set times of that local day in order, each once.
    std::vector<std::time_t> SetTimesOfDay(int year, int month, int day) const;

    // A bound of a range or a set time: a clock time, or the sun with an
    // offset. Defined here because the class keeps them by value.
    struct Bound {
        enum class Kind { kClock, kSunrise, kSunset };
        Kind kind = Kind::kClock;
        int minutes = 0;  // after midnight for a clock time, else the offset
    };
    struct Range {
        Bound begin;
        Bound end;
    };

private:
    // The local days one call looks at, each day's midnight and sun worked
    // out once. Days are counted from 1970-01-01.
    class Days;
    std::vector<RecordingSpan> RawSpansOfDay(Days& days, long day) const;
    std::vector<RecordingSpan> MergedSpans(Days& days, long first_day, long last_day) const;
    std::optional<std::time_t> TimeOf(Days& days, const Bound& bound, long day) const;

    bool has_hours_ = false;
    bool outside_ = false;
    // Index 0 is Sunday, as tm_wday.
    std::vector<std::vector<Range>> ranges_by_weekday_;
    std::vector<Bound> set_times_;
    std::optional<double> latitude_;
    std::optional<double> longitude_;
};

// The first point at or after `t` on the grid of multiples of `interval_s`
// counted from local midnight in wall-clock time (a 600 s interval gives
// 10:00:00, 10:10:00, ...); the grid starts again at every midnight.
std::time_t NextGridPoint(std::time_t t, long interval_s);

#include "schedule/set_times.h"

#include <vector>

namespace {

// A set time passed by at most this much is still taken.
constexpr std::time_t kLateness = 60;
constexpr std::time_t kDaySeconds = 86400;

struct LocalDay {
    int year;
    int month;
    int day;
    long Key() const { return year * 10000L + month * 100L + day; }
};

// The local day `offset` days from the one of `t`.
LocalDay DayFrom(std::time_t t, int offset) {
    std::tm local{};
    localtime_r(&t, &local);
    // Noon: a day's noon exists whatever its summer time does.
    local.tm_mday += offset;
    local.tm_hour = 12;
    local.tm_min = 0;
    local.tm_sec = 0;
    local.tm_isdst = -1;
    std::mktime(&local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

}  // namespace

SetTimeTracker::SetTimeTracker(const RecordingHours& hours, std::time_t now) : hours_(hours) {
    for (int offset = -1; offset <= 0; ++offset) {
        const LocalDay day = DayFrom(now, offset);
        const auto times = hours_.SetTimesOfDay(day.year, day.month, day.day);
        for (int i = 0; i < static_cast<int>(times.size()); ++i) {
            if (times[i] < now) taken_.insert({day.Key(), i});
        }
    }
}

bool SetTimeTracker::Due(std::time_t now) {
    bool due = false;
    // Yesterday's list too: its late times (sunset+02:00) may fall after
    // midnight.
    for (int offset = -1; offset <= 0; ++offset) {
        const LocalDay day = DayFrom(now, offset);
        auto [list, fresh] = lists_.try_emplace(day.Key());
        if (fresh) list->second = hours_.SetTimesOfDay(day.year, day.month, day.day);
        const std::vector<std::time_t>& times = list->second;
        for (int i = 0; i < static_cast<int>(times.size()); ++i) {
            if (times[i] > now || !taken_.insert({day.Key(), i}).second) continue;
            // One passed long ago (a suspend, a big step of the clock) is let go.
            if (now - times[i] < kLateness) due = true;
        }
    }
    // Keys stay until their day is well behind, so that a step back of the
    // clock finds them.
    const long oldest = DayFrom(now, -2).Key();
    taken_.erase(taken_.begin(), taken_.lower_bound({oldest, 0}));
    lists_.erase(lists_.begin(), lists_.lower_bound(oldest));
    return due;
}

std::optional<std::time_t> SetTimeTracker::Next(std::time_t now) const {
    std::optional<std::time_t> next;
    for (int offset = -1; offset <= 8; ++offset) {
        const LocalDay day = DayFrom(now, offset);
        const auto times = hours_.SetTimesOfDay(day.year, day.month, day.day);
        for (int i = 0; i < static_cast<int>(times.size()); ++i) {
            if (times[i] < now || taken_.count({day.Key(), i}) != 0) continue;
            if (!next || times[i] < *next) next = times[i];
        }
    }
    if (next && *next - now > 8 * kDaySeconds) return std::nullopt;
    return next;
}

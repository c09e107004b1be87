#pragma once

#include <ctime>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "schedule/recording_hours.h"

// Which set times are due. Each is taken once a day: a clock step back over
// it does not take it twice; one passed while the program was not running
// is not made up (those before the tracker's start count as taken); one
// passed by a forward step or a suspend of under a minute is taken at once,
// a longer one is let go.
class SetTimeTracker {
public:
    SetTimeTracker(const RecordingHours& hours, std::time_t now);

    // True when a set time came since the last call (or the start) and is
    // due now; it then counts as taken. Call it often (at every pass).
    bool Due(std::time_t now);

    // The next set time at or after `now` not yet taken, within eight days.
    std::optional<std::time_t> Next(std::time_t now) const;

private:
    const RecordingHours& hours_;
    // (local day as YYYYMMDD, index in that day's list) of taken times.
    std::set<std::pair<long, int>> taken_;
    // The lists of the days Due looks at, each worked out once: Due runs
    // often and a list with the sun in it costs a sun computation.
    std::map<long, std::vector<std::time_t>> lists_;
};

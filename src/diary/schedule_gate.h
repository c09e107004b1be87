#pragma once

#include <cstdint>
#include <optional>

#include "schedule/recording_hours.h"
#include "schedule/set_times.h"

// The worker's view of [SCHEDULE] for one run. A pass costs a few
// comparisons: the next change of the hours, the next set time and the next
// grid point are kept, and computed again only when they come or the clock
// steps back.
class ScheduleGate {
public:
    ScheduleGate(const ScheduleSettings& settings, std::uint32_t interval_ms, std::int64_t wall_ms);
    ScheduleGate(const ScheduleGate&) = delete;
    ScheduleGate& operator=(const ScheduleGate&) = delete;

    struct Look {
        bool recording = true;  // inside the recording hours (or there are none)
        bool interval_allowed = true;
        bool motion_allowed = true;
        bool set_time_due = false;
        bool grid_point_due = false;  // a point of the interval's grid came
        bool changed = false;         // `recording` changed since the last pass
    };
    Look Pass(std::int64_t wall_ms);

    bool IntervalOnTheClock() const { return grid_interval_s_ > 0; }
    bool ReleasesCamera() const { return release_camera_; }
    bool Recording() const { return recording_; }
    // Seconds since the epoch of the next change of the hours, if any.
    std::optional<std::time_t> NextChange() const { return until_; }
    std::optional<std::time_t> NextSetTime() const { return next_set_; }
    // Until the next thing the gate keeps (change, set time, grid point).
    std::int64_t MsUntilNext(std::int64_t wall_ms) const;

private:
    void Recompute(std::int64_t wall_ms);

    RecordingHours hours_;
    SetTimeTracker set_times_;
    const bool interval_follows_;
    const bool motion_follows_;
    const bool release_camera_;
    const long grid_interval_s_;
    bool recording_ = true;
    std::optional<std::time_t> until_;
    std::optional<std::time_t> next_set_;
    std::int64_t next_check_ms_ = 0;  // when the hours are looked at again
    std::int64_t next_grid_ms_ = 0;
    std::int64_t last_wall_ms_ = 0;
};

#include "diary/schedule_gate.h"

#include <algorithm>
#include <limits>

namespace {

// A clock set back by more than this is a step: what was kept is computed
// again (a change or a grid point could otherwise be hours away).
constexpr std::int64_t kStepBackMs = 1500;
constexpr std::int64_t kGridLatenessMs = 1000;
// Without any change within the week the hours are looked at once a day.
constexpr std::int64_t kDayMs = 86400 * 1000LL;

std::int64_t MsOf(std::time_t t) { return static_cast<std::int64_t>(t) * 1000; }

std::time_t SecondsAtOrAfter(std::int64_t wall_ms) {
    return static_cast<std::time_t>((wall_ms + 999) / 1000);
}

}  // namespace

ScheduleGate::ScheduleGate(const ScheduleSettings& settings, std::uint32_t interval_ms,
                           std::int64_t wall_ms)
    : hours_(RecordingHours::From(settings, nullptr)),
      set_times_(hours_, static_cast<std::time_t>(wall_ms / 1000)),
      interval_follows_(settings.INTERVAL),
      motion_follows_(settings.MOTION),
      release_camera_(settings.RELEASE_CAMERA && hours_.HasHours()),
      grid_interval_s_(settings.ALIGN_INTERVAL ? static_cast<long>(interval_ms / 1000) : 0) {
    Recompute(wall_ms);
}

void ScheduleGate::Recompute(std::int64_t wall_ms) {
    const auto now = static_cast<std::time_t>(wall_ms / 1000);
    const RecordingHours::State state = hours_.At(now);
    recording_ = state.recording;
    until_ = state.until;
    next_check_ms_ = until_ ? MsOf(*until_) : wall_ms + kDayMs;
    next_set_ = hours_.HasSetTimes() ? set_times_.Next(now) : std::nullopt;
    if (grid_interval_s_ > 0)
        next_grid_ms_ = MsOf(NextGridPoint(SecondsAtOrAfter(wall_ms), grid_interval_s_));
    last_wall_ms_ = wall_ms;
}

ScheduleGate::Look ScheduleGate::Pass(std::int64_t wall_ms) {
    Look look;
    const bool was_recording = recording_;
    if (wall_ms < last_wall_ms_ - kStepBackMs) {
        Recompute(wall_ms);
    } else if (wall_ms >= next_check_ms_) {
        const RecordingHours::State state = hours_.At(static_cast<std::time_t>(wall_ms / 1000));
        recording_ = state.recording;
        until_ = state.until;
        next_check_ms_ = until_ ? MsOf(*until_) : wall_ms + kDayMs;
    }
    last_wall_ms_ = std::max(last_wall_ms_, wall_ms);
    look.recording = recording_;
    look.changed = recording_ != was_recording;
    look.interval_allowed = recording_ || !interval_follows_;
    look.motion_allowed = recording_ || !motion_follows_;

    // A forward step lands here too: the tracker decides whether a time
    // passed by it is still taken.
    if (next_set_ && wall_ms >= MsOf(*next_set_)) {
        const auto now = static_cast<std::time_t>(wall_ms / 1000);
        look.set_time_due = set_times_.Due(now);
        next_set_ = set_times_.Next(now);
    }
    if (grid_interval_s_ > 0 && wall_ms >= next_grid_ms_) {
        // A point passed by more than its own second (a forward step, a
        // machine that woke late) is let go: the picture would not be named
        // on the grid.
        look.grid_point_due = wall_ms - next_grid_ms_ < kGridLatenessMs;
        next_grid_ms_ =
            MsOf(NextGridPoint(static_cast<std::time_t>(wall_ms / 1000) + 1, grid_interval_s_));
    }
    return look;
}

std::int64_t ScheduleGate::MsUntilNext(std::int64_t wall_ms) const {
    std::int64_t next = next_check_ms_;
    if (next_set_) next = std::min(next, MsOf(*next_set_));
    if (grid_interval_s_ > 0) next = std::min(next, next_grid_ms_);
    return std::max<std::int64_t>(0, next - wall_ms);
}

#pragma once

#include <functional>
#include <string>

#include "events/diary_events.h"
#include "events/diary_job_context.h"

class Clock;

// Says in the log (the log box, "log.txt" and the headless output) when the
// recording hours pause and resume the diary, and when a run of dark
// pictures begins and ends: one line each, never one per picture.
class ScheduleLogLines final : public DiarySubscriber {
public:
    explicit ScheduleLogLines(const DiaryJobContext& context)
        : post_line_(context.post_line), clock_(context.clock) {}

    std::string Name() const override { return "schedule"; }
    void Handle(const DiaryEvent& event, const StopSignal& stop) override;

private:
    std::function<void(const LogText&)> post_line_;
    Clock& clock_;
    int skipped_in_a_row_ = 0;
};

// Registers [SCHEDULE] (the worker reads it) and subscribes the lines.
void RegisterSchedule(const DiaryJobContext& context);

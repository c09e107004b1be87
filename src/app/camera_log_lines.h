#pragma once

#include <functional>
#include <string>

#include "events/diary_events.h"
#include "events/diary_job_context.h"

// Turns the camera's going and coming back into log lines, so that the log
// box, "log.txt" and the headless output say it.
class CameraLogLines final : public DiarySubscriber {
public:
    explicit CameraLogLines(const DiaryJobContext& context) : post_line_(context.post_line) {}

    std::string Name() const override { return "camera"; }
    void Handle(const DiaryEvent& event, const StopSignal& stop) override;

private:
    std::function<void(const LogText&)> post_line_;
};

void RegisterCameraLogLines(const DiaryJobContext& context);

#include "app/diary_jobs.h"

#include <memory>

#include "app/camera_log_lines.h"
#include "engine/diary_engine.h"
#include "event_commands/event_commands.h"

void AttachDiaryJobs(DiaryEngine& engine) {
    engine.Events().Subscribe(std::make_shared<CameraLogLines>(
        [&engine](const std::string& line) { engine.PostLogLine(line); }));
    engine.Events().Subscribe(std::make_shared<EventCommands>(
        engine.Settings(), [&engine](const std::string& line) { engine.PostLogLine(line); }));
}

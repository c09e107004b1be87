#include "app/diary_jobs.h"

#include <memory>

#include "app/camera_log_lines.h"
#include "engine/diary_engine.h"
#include "event_commands/event_commands.h"
#include "platform/clock.h"
#include "publish/diary_publisher.h"
#include "retention/diary_retention.h"
#include "timelapse/day_timelapse.h"
#include "timelapse/store_watch.h"

void AttachDiaryJobs(DiaryEngine& engine) {
    engine.Events().Subscribe(std::make_shared<DiaryRetention>(
        DiaryRetentionServices{engine.Settings(), engine.Events(), SystemClockInstance(),
                               [&engine](const LogText& line) { engine.PostLogLine(line); },
                               [&engine] { engine.Store().MarkPagesChanged(); }}));
    engine.Events().Subscribe(std::make_shared<CameraLogLines>(
        [&engine](const std::string& line) { engine.PostLogLine(line); }));
    auto stores = std::make_shared<StoreWatch>();
    engine.Events().Subscribe(stores);
    engine.Events().Subscribe(std::make_shared<DayTimelapse>(DayTimelapseServices{
        engine.Settings(), engine.Pages(), engine.Events(), SystemClockInstance(),
        [&engine](const LogText& line) { engine.PostLogLine(line); }, stores}));
    engine.Events().Subscribe(std::make_shared<DiaryPublisher>(DiaryPublisherSeams{
        engine.Settings(), [&engine](const LogText& line) { engine.PostLogLine(line); }}));
    engine.Events().Subscribe(std::make_shared<EventCommands>(
        engine.Settings(), [&engine](const LogText& line) { engine.PostLogLine(line); }));
}

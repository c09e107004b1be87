#include "app/diary_jobs.h"

#include "app/camera_log_lines.h"
#include "app/schedule_log_lines.h"
#include "diary/motion_settings.h"
#include "diary/picture_store.h"
#include "engine/diary_engine.h"
#include "event_commands/event_commands.h"
#include "mqtt/mqtt_link.h"
#include "platform/clock.h"
#include "publish/diary_publisher.h"
#include "retention/diary_retention.h"
#include "settings/app_directory.h"
#include "timelapse/day_timelapse.h"
#include "watchdog/service_watchdog.h"
#include "web/web_pages.h"

namespace {

DiaryJobContext JobContextOf(DiaryEngine& engine) {
    return DiaryJobContext{
        .settings = engine.Settings(),
        .events = engine.Events(),
        .publish = engine.Events(),
        .clock = SystemClockInstance(),
        .post_line = [&engine](const LogText& line) { engine.PostLogLine(line); },
        .mark_pages_changed = [&engine] { engine.Store().MarkPagesChanged(); },
        .rewrite_past_day_page =
            [&engine](const std::string& save_directory, const std::string& day_name,
                      const DiarySettings& settings) {
                return engine.Pages().RewritePastDayPage(save_directory, day_name, settings);
            },
        .link_day_videos =
            [&engine](DayVideoLink link) { engine.Pages().LinkDayVideos(std::move(link)); },
        .set_on_air = [&engine](bool on) { engine.PostSetOnAir(on); },
        .store_now = [&engine] { engine.Worker().AskForPicture(); },
        .settings_directory = GetAppDirectory(),
    };
}

}  // namespace

// The order of the list is the order in which sections new to setup.ini are
// appended to it.
void AttachDiaryJobs(DiaryEngine& engine, ServiceWatchdog* service) {
    const DiaryJobContext context = JobContextOf(engine);
    RegisterRetention(context);
    RegisterPublishing(context);
    RegisterTimelapse(context);
    RegisterEventCommands(context);
    RegisterCameraLogLines(context);
    RegisterSchedule(context);
    // Read by the worker at every start of a run.
    RegisterSettingsSection(MotionSettingsSection());
    RegisterMqtt(context);
    if (service != nullptr) RegisterServiceStatus(context, *service);
}

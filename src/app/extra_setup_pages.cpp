#include "app/extra_setup_pages.h"

#include "engine/diary_engine.h"
#include "event_commands/ui/event_commands_page.h"
#include "mqtt/ui/mqtt_page.h"
#include "platform/clock.h"
#include "platform/prompts.h"
#include "publish/ui/publish_setup_page.h"
#include "retention/ui/retention_page.h"
#include "schedule/ui/schedule_page.h"
#include "settings/app_directory.h"
#include "settings/ui/extra_setup_dialog.h"
#include "timelapse/ui/timelapse_page.h"

void AddExtraSetupPages(CExtraSetupDialog& dialog, DiaryEngine& /*engine*/, Prompts& prompts) {
    dialog.AddPage(new RetentionPage(prompts, SystemClockInstance()));
    dialog.AddPage(new TimelapsePage(prompts));
    dialog.AddPage(new PublishSetupPage(prompts));
    dialog.AddPage(new EventCommandsPage(prompts));
    dialog.AddPage(new SchedulePage(prompts, SystemClockInstance()));
    dialog.AddPage(new MqttPage(prompts, GetAppDirectory()));
}

#include "app/schedule_log_lines.h"

#include <QtGlobal>
#include <memory>

#include "log/log_text.h"
#include "platform/clock.h"
#include "schedule/schedule_settings.h"
#include "settings/settings_section.h"

namespace {
constexpr const char* kContext = "ScheduleLogLines";
constexpr const char* kPausedUntil =
    QT_TRANSLATE_NOOP("ScheduleLogLines", "録画時間外のため記録を休止します（%1 まで）");
constexpr const char* kPaused =
    QT_TRANSLATE_NOOP("ScheduleLogLines", "録画時間外のため記録を休止します");
constexpr const char* kResumed =
    QT_TRANSLATE_NOOP("ScheduleLogLines", "録画時間になりました。記録を再開します");
constexpr const char* kDarkBegins =
    QT_TRANSLATE_NOOP("ScheduleLogLines", "暗いため画像を保存しません（明るさ %1、しきい値 %2）");
constexpr const char* kDarkEnds =
    QT_TRANSLATE_NOOP("ScheduleLogLines", "明るくなりました。暗いため保存しなかった画像 %1 枚");
}  // namespace

void ScheduleLogLines::Handle(const DiaryEvent& event, const StopSignal&) {
    if (const auto* paused = std::get_if<RecordingPaused>(&event)) {
        if (paused->has_until) {
            post_line_(TranslatedLogText(kContext, kPausedUntil,
                                         {PauseEndText(paused->until, clock_.LocalNow())}));
        } else {
            post_line_(TranslatedLogText(kContext, kPaused, {}));
        }
    } else if (std::holds_alternative<RecordingResumed>(event)) {
        post_line_(TranslatedLogText(kContext, kResumed, {}));
    } else if (const auto* skipped = std::get_if<PictureSkipped>(&event)) {
        if (skipped_in_a_row_++ == 0) {
            post_line_(TranslatedLogText(
                kContext, kDarkBegins,
                {std::to_string(skipped->brightness), std::to_string(skipped->threshold)}));
        }
    } else if (std::holds_alternative<PictureStored>(event) && skipped_in_a_row_ > 0) {
        post_line_(TranslatedLogText(kContext, kDarkEnds, {std::to_string(skipped_in_a_row_)}));
        skipped_in_a_row_ = 0;
    }
}

void RegisterSchedule(const DiaryJobContext& context) {
    RegisterSettingsSection(ScheduleSettingsSection());
    context.events.Subscribe(std::make_shared<ScheduleLogLines>(context));
}

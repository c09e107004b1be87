#include "app/html_setup_command.h"

#include <QDialog>

#include "app/diary_setup_command.h"
#include "engine/diary_engine.h"
#include "settings/ui/html_setup_dialog.h"

bool RunHtmlSetupCommand(DiaryEngine& engine, CHtmlSetupDialog& dialog, Prompts& prompts,
                         const DialogRunner& run) {
    engine.ReleaseCaptureGraph();
    if ((run ? run(dialog) : dialog.exec()) == QDialog::Accepted) engine.Store().MarkPagesChanged();
    return RebuildCaptureGraphOrWait(engine, prompts);
}

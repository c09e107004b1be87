#include "settings/ui/html_setup_command.h"

#include "engine/diary_engine.h"
#include "settings/ui/diary_setup_command.h"
#include "settings/ui/html_setup_dialog.h"

bool RunHtmlSetupCommand(DiaryEngine& engine, CHtmlSetupDialog& dialog, Prompts& prompts) {
    engine.ReleaseCaptureGraph();
    if (dialog.exec() == QDialog::Accepted) engine.Store().MarkPagesChanged();
    return RebuildCaptureGraphWithRetry(engine, prompts);
}

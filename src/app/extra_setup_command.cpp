#include "app/extra_setup_command.h"

#include "engine/diary_engine.h"
#include "settings/ui/extra_setup_dialog.h"

void RunExtraSetupCommand(DiaryEngine& engine, CExtraSetupDialog& dialog, const DialogRunner& run) {
    if ((run ? run(dialog) : dialog.exec()) == QDialog::Accepted) engine.SaveSettings();
}

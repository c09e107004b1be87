#include "app/time_text_setup_command.h"

#include "settings/ui/time_text_setup_dialog.h"

void RunTimeTextSetupCommand(CTimeTextSetupDialog& dialog, const DialogRunner& run) {
    if (run)
        run(dialog);
    else
        dialog.exec();
}

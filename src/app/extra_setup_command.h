#pragma once

#include "app/diary_setup_command.h"

class CExtraSetupDialog;

// The main window's extra settings command ("拡張設定(&E)"): runs the dialog
// while the diary keeps running (its jobs read the settings as they go) and
// saves the settings when it ends with OK.
void RunExtraSetupCommand(DiaryEngine& engine, CExtraSetupDialog& dialog,
                          const DialogRunner& run = {});

#pragma once

#include "app/diary_setup_command.h"

class CTimeTextSetupDialog;

// The main window's time text settings command (menu 32805): runs the dialog
// modally while the capture graph and the worker keep running, and does
// nothing with its result. The graph is neither released nor rebuilt and
// nothing is saved: the values reach "setup.ini" with the next save of the
// settings, at the latest when the main window closes.
void RunTimeTextSetupCommand(CTimeTextSetupDialog& dialog, const DialogRunner& run = {});

#pragma once

#include "app/diary_setup_command.h"

class CHtmlSetupDialog;
class DiaryEngine;
class Prompts;

// The main window's web page settings command (menu 32811): release the
// graph (the worker stops, so no page writer reads the settings while they
// are edited), run the dialog, mark the pages changed on OK so that the next
// picture starts the page writers from empty caches, then build the graph
// again as RebuildCaptureGraphOrWait does. Nothing is saved. False when the
// user chose to quit: the caller hides and closes the main window.
// `run` runs the dialog modally (empty: exec()).
bool RunHtmlSetupCommand(DiaryEngine& engine, CHtmlSetupDialog& dialog, Prompts& prompts,
                         const DialogRunner& run = {});

#pragma once

#include <functional>

class CDiarySetupDialog;
class QDialog;
class DiaryEngine;
class Prompts;

// Runs a modal dialog and gives its result; empty runs exec().
using DialogRunner = std::function<int(QDialog&)>;

// The main window's capture settings command (button 1002, menu 32802):
// release the graph (the worker stops), give the dialog the device settings,
// run it, mark the pages changed on OK, build the graph again (keeping the
// device) until it succeeds or the user chooses to quit at the prompt, then
// save the settings. False when the user chose to quit: nothing is saved
// here, and the caller hides and closes the main window.
bool RunDiarySetupCommand(DiaryEngine& engine, CDiarySetupDialog& dialog, Prompts& prompts,
                          const DialogRunner& run = {});

// Builds the graph again, keeping the device and not configuring it, until it
// succeeds or the user answers Yes to the prompt that offers to quit (false;
// also false without a prompt once a shutdown is under way).
bool RebuildCaptureGraphWithRetry(DiaryEngine& engine, Prompts& prompts);

// The capture settings step of the first run: as the command, but the
// dialog's result does not matter and nothing is saved.
bool RunFirstRunDiarySetup(DiaryEngine& engine, CDiarySetupDialog& dialog, Prompts& prompts,
                           const DialogRunner& run = {});

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
// device), then save the settings. False when the rebuild failed and the user
// chose to quit at the prompt: nothing is saved here, and the caller hides
// and closes the main window.
bool RunDiarySetupCommand(DiaryEngine& engine, CDiarySetupDialog& dialog, Prompts& prompts,
                          const DialogRunner& run = {});

// Builds the graph again, keeping the device and not configuring it. When
// that fails the prompt offers to quit: Yes gives false; No leaves the
// window without a picture while the engine looks for a camera every 10 s
// (true). Also false without a prompt once a shutdown is under way.
bool RebuildCaptureGraphOrWait(DiaryEngine& engine, Prompts& prompts);

// The capture settings step of the first run: as the command, but the
// dialog's result does not matter and nothing is saved.
bool RunFirstRunDiarySetup(DiaryEngine& engine, CDiarySetupDialog& dialog, Prompts& prompts,
                           const DialogRunner& run = {});

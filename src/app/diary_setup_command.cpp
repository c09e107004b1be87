#include "app/diary_setup_command.h"

#include <QDialog>

#include "capture/device_names.h"
#include "diary/ui/diary_setup_dialog.h"
#include "engine/diary_engine.h"
#include "platform/prompts.h"

namespace {

// The dialog opens its own preview graph on the device, so the main graph
// must be gone first.
int RunDialogOnReleasedGraph(DiaryEngine& engine, CDiarySetupDialog& dialog,
                             const DialogRunner& run) {
    engine.ReleaseCaptureGraph();
    const DiarySettings s = engine.Settings().Copy();
    dialog.SetDeviceInfo(s.SELECT, s.WIDTH, s.HEIGHT, s.FRAMERATE);
    return run ? run(dialog) : dialog.exec();
}

}  // namespace

bool RebuildCaptureGraphOrWait(DiaryEngine& engine, Prompts& prompts) {
    if (engine.BuildCaptureGraph(true, false)) return true;
    // A shutdown under way makes every build fail; no prompt then.
    if (engine.IsShutDown() || engine.ShutdownRequest().IsSet()) return false;
    if (prompts.AskYesNo(GraphFailedPrompt())) return false;
    // Asking again at once would find no camera either, and would keep the
    // user from the device menu (a network camera's address).
    engine.WaitForCamera();
    return true;
}

bool RunDiarySetupCommand(DiaryEngine& engine, CDiarySetupDialog& dialog, Prompts& prompts,
                          const DialogRunner& run) {
    if (RunDialogOnReleasedGraph(engine, dialog, run) == QDialog::Accepted) {
        engine.Store().MarkPagesChanged();
    }
    if (!RebuildCaptureGraphOrWait(engine, prompts)) return false;
    engine.SaveSettings();
    return true;
}

bool RunFirstRunDiarySetup(DiaryEngine& engine, CDiarySetupDialog& dialog, Prompts& prompts,
                           const DialogRunner& run) {
    RunDialogOnReleasedGraph(engine, dialog, run);
    return RebuildCaptureGraphOrWait(engine, prompts);
}

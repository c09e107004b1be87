#include "engine/diary_engine.h"

#include <algorithm>

#include "capture/frame_grab.h"
#include "settings/settings_io.h"

DiaryEngine::DiaryEngine(DiaryEngineSeams seams)
    : clock_(seams.clock),
      log_(seams.clock, settings_, std::move(seams.app_directory)),
      receiver_([this](int code) { log_.OnDiaryNotify(code); }),
      pages_(notices_),
      // The run wait of a command build ends on the shutdown request; a
      // recovery build on the worker thread only meets a stop there too.
      capture_(CaptureGraphServices{graph_, settings_, worker_, seams.prompts, seams.chooser,
                                    seams.dialogs, seams.window, seams.clock, shutdown_,
                                    seams.system_devices, seams.delays.capture}),
      store_(capture_, graph_, seams.clock, settings_, pages_, notices_, seams.delays.capture),
      worker_(DiaryWorkerDependencies{
          capture_, graph_, seams.clock, settings_, notices_,
          [this](const StopSignal& stop) { return store_.StorePicture(stop); },
          [] { return MakeMotionReferenceMeter(); }, seams.delays.capture,
          seams.delays.forced_end_after_ms}) {
    log_.SetListener(std::move(seams.log_listener));
}

DiaryEngineDelays DiaryEngineDelays::DividedBy(std::uint32_t divisor) const {
    if (divisor <= 1) return *this;
    return {capture.DividedBy(divisor),
            std::max(1, forced_end_after_ms / static_cast<int>(divisor))};
}

// The worker is destroyed first and joins any run still finishing, while the
// graph and the store it uses exist.
DiaryEngine::~DiaryEngine() { Shutdown(); }

void DiaryEngine::LoadSettings() {
    DiarySettings loaded;
    ::LoadSettings(loaded);
    settings_.Replace(std::move(loaded));
    loaded_ = true;
}

void DiaryEngine::SaveSettings() {
    if (loaded_) ::SaveSettings(settings_.Copy());
}

bool DiaryEngine::BuildCaptureGraph(bool keepDevice, bool configureDevice) {
    if (shut_down_ || shutdown_.IsSet()) return false;
    return capture_.BuildCaptureGraph(keepDevice, configureDevice);
}

void DiaryEngine::ReleaseCaptureGraph() { capture_.ReleaseCaptureGraph(); }

void DiaryEngine::StopGraphWhileMinimised() {
    if (!graph_.minimised.load()) return;
    // The worker may already be grabbing; its grab ends first.
    if (LockGraph(graph_, shutdown_)) {
        capture_.StopWhenReady();
        graph_.lock.unlock();
    }
}

void DiaryEngine::Shutdown() {
    if (shut_down_) return;
    shut_down_ = true;
    shutdown_.Request();
    SaveSettings();
    capture_.ReleaseCaptureGraph();
}

#include "engine/diary_engine.h"

#include <QtGlobal>
#include <algorithm>

#include "capture/frame_grab.h"
#include "diary/leftover_files.h"
#include "log/log_text.h"
#include "platform/prompts.h"
#include "schedule/recording_hours.h"
#include "settings/settings_io.h"
#include "settings/stored_nothing.h"

namespace {
constexpr const char* kStartLine = QT_TRANSLATE_NOOP("DiaryEngine", "Quillomatを開始しました。");
constexpr const char* kOverflowLine = QT_TRANSLATE_NOOP(
    "DiaryEvents", "%1: 処理が追いつかないため、あふれたイベントを数えて捨てます");
}  // namespace

DiaryEngine::DiaryEngine(DiaryEngineSeams seams)
    : clock_(seams.clock),
      log_(seams.clock, settings_, std::move(seams.app_directory)),
      receiver_([this](int code) { log_.OnDiaryNotify(code); }),
      events_([this](const std::string& job) {
          PostLogLine(TranslatedLogText("DiaryEvents", kOverflowLine, {job}));
      }),
      pages_(notices_),
      // The run wait of a command build ends on the shutdown request; a
      // recovery build on the worker thread only meets a stop there too.
      capture_(CaptureGraphServices{graph_, settings_, worker_, seams.prompts, seams.chooser,
                                    seams.dialogs, seams.window, seams.clock, shutdown_, events_,
                                    seams.system_devices, seams.delays.capture}),
      store_(capture_, graph_, seams.clock, settings_, pages_, notices_, seams.delays.capture,
             &events_),
      worker_(DiaryWorkerDependencies{capture_, graph_, seams.clock, settings_, notices_,
                                      [this](const StopSignal& stop, PictureTrigger trigger) {
                                          return store_.StorePicture(stop, trigger);
                                      },
                                      [] { return MakeMotionReferenceMeter(); },
                                      seams.delays.capture, seams.delays.forced_end_after_ms,
                                      std::move(seams.worker_alive), &events_}) {
    log_.SetListener(std::move(seams.log_listener));
    retry_timer_.setInterval(seams.delays.retry_build_ms);
    QObject::connect(&retry_timer_, &QTimer::timeout, [this] { RetryBuild(); });
}

DiaryEngineDelays DiaryEngineDelays::DividedBy(std::uint32_t divisor) const {
    if (divisor <= 1) return *this;
    return {capture.DividedBy(divisor),
            std::max(1, forced_end_after_ms / static_cast<int>(divisor)),
            std::max(1, retry_build_ms / static_cast<int>(divisor))};
}

// The worker is destroyed first and joins any run still finishing, while the
// graph and the store it uses exist.
DiaryEngine::~DiaryEngine() { Shutdown(); }

void DiaryEngine::LoadSettings() {
    DiarySettings loaded;
    load_remarks_.clear();
    ::LoadSettings(loaded, &load_remarks_);
    settings_.Replace(std::move(loaded));
    loaded_ = true;
}

void DiaryEngine::SaveSettings() {
    if (loaded_) ::SaveSettings(settings_.Copy());
}

bool DiaryEngine::BuildCaptureGraph(bool keepDevice, bool configureDevice) {
    if (shut_down_ || shutdown_.IsSet()) return false;
    if (!capture_.BuildCaptureGraph(keepDevice, configureDevice)) return false;
    retry_timer_.stop();
    return true;
}

StartUpOutcome DiaryEngine::StartUp(DiaryStartUpSeams seams) {
    if (started_ || shut_down_ || shutdown_.IsSet()) return StartUpOutcome::kQuit;
    started_ = true;
    start_up_ = std::move(seams);
    LoadSettings();
    const DiarySettings loaded = settings_.Copy();
    RemoveLeftoverTemporaryFiles(loaded);
    std::vector<std::string> remarks = load_remarks_;
    // Said once here; the worker reads each unusable key as unset.
    std::vector<ScheduleProblem> problems;
    const RecordingHours hours =
        RecordingHours::From(loaded.Section<ScheduleSettings>(), &problems);
    for (std::string& remark : StartupRemarks(loaded, hours.HasSetTimes()))
        remarks.push_back(std::move(remark));
    for (const ScheduleProblem& problem : problems) {
        remarks.push_back("quillomat: setup.ini [SCHEDULE] " + problem.key + "=" + problem.text +
                          " " + problem.why);
    }
    if (start_up_.remark) {
        for (const std::string& remark : remarks) start_up_.remark(remark);
    }
    events_.Start();
    graph_.minimised.store(start_up_.minimised);

    const bool first_run = loaded.SELECT.empty();
    const bool asks = first_run && start_up_.first_run_asks;
    if (capture_.BuildCaptureGraph(!asks, asks)) {
        if (!FinishBuild(first_run)) return StartUpOutcome::kQuit;
    } else {
        if (shutdown_.IsSet()) return StartUpOutcome::kQuit;
        if (start_up_.ask_quit && start_up_.ask_quit()) return StartUpOutcome::kQuit;
        if (shutdown_.IsSet()) return StartUpOutcome::kQuit;
        retry_timer_.start();
    }
    log_.AddLogLine(TranslatedLogText("DiaryEngine", kStartLine));
    return StartUpOutcome::kRunning;
}

bool DiaryEngine::FinishBuild(bool first_run) {
    StopGraphWhileMinimised();
    if (!first_run) return true;
    if (start_up_.first_run_dialogs && !start_up_.first_run_dialogs()) return false;
    // The choices of the first run are kept even if the process is killed
    // before its end.
    SaveSettings();
    return true;
}

void DiaryEngine::WaitForCamera() {
    if (!shut_down_ && !shutdown_.IsSet()) retry_timer_.start();
}

void DiaryEngine::RetryBuild() {
    if (shut_down_ || shutdown_.IsSet()) {
        retry_timer_.stop();
        return;
    }
    if (start_up_.may_retry && !start_up_.may_retry()) return;
    const bool first_run = settings_.Read([](const DiarySettings& s) { return s.SELECT.empty(); });
    // Nobody may be there to answer a message box every few seconds.
    struct RetryPrompts final : Prompts {
        explicit RetryPrompts(const std::function<void(const std::string&)>& say) : say_(say) {}
        void ShowMessage(const std::string& text) override {
            if (say_) say_(text);
        }
        bool AskYesNo(const std::string& text) override {
            ShowMessage(text);
            return false;
        }
        const std::function<void(const std::string&)>& say_;
    } prompts(start_up_.retry_message);
    if (!capture_.BuildQuietly(prompts)) return;
    retry_timer_.stop();
    FinishBuild(first_run);
}

void DiaryEngine::PostLogLine(const LogText& line) {
    QMetaObject::invokeMethod(
        log_context_.get(), [this, line] { log_.AddLogLine(line); }, Qt::QueuedConnection);
}

void DiaryEngine::SetOnAir(bool on) {
    bool switched = false;
    settings_.Update([&](DiarySettings& s) {
        switched = s.ONAIR != on;
        s.ONAIR = on;
    });
    if (!switched) return;
    SaveSettings();
    events_.Publish(OnAirSwitched{on});
    if (on_air_listener_) on_air_listener_(on);
}

void DiaryEngine::PostSetOnAir(bool on) {
    QMetaObject::invokeMethod(
        log_context_.get(), [this, on] { SetOnAir(on); }, Qt::QueuedConnection);
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
    retry_timer_.stop();
    SaveSettings();
    capture_.ReleaseCaptureGraph();
    // The worker has ended, so no store publishes any more.
    events_.Stop();
}

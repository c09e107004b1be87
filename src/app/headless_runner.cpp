#include "app/headless_runner.h"

#include <mutex>

#include "capture/frame_grab.h"
#include "diary/leftover_files.h"
#include "platform/clock.h"
#include "settings/app_directory.h"
#include "settings/settings_io.h"
#include "settings/stored_nothing.h"

namespace {

// Lines from several threads must not interleave.
std::mutex g_output_mutex;

void PrintLines(std::FILE* out, const std::string& text) {
    std::string lines;
    lines.reserve(text.size() + 1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        lines += text[i];
    }
    if (lines.empty() || lines.back() != '\n') lines += '\n';
    std::lock_guard lock(g_output_mutex);
    std::fwrite(lines.data(), 1, lines.size(), out);
    std::fflush(out);
}

}  // namespace

void ConsolePrompts::ShowMessage(const std::string& text) { PrintLines(out_, text); }

bool ConsolePrompts::AskYesNo(const std::string& text) {
    PrintLines(out_, text);
    return false;
}

void ConsoleCaptureWindow::PostTitle(const std::string& title) { PrintLines(stderr, title); }

HeadlessRunner::HeadlessRunner(Clock& clock, std::FILE* out)
    : clock_(clock),
      out_(out),
      log_(clock, settings_, [] { return GetAppDirectory(); }),
      receiver_([this](int code) { log_.OnDiaryNotify(code); }),
      pages_(notices_),
      prompts_(out),
      store_(capture_, graph_, clock, settings_, pages_, notices_),
      worker_(DiaryWorkerDependencies{
          capture_, graph_, clock, settings_, notices_,
          [this](const StopSignal& stop) { return store_.StorePicture(stop); },
          [] { return MakeMotionReferenceMeter(); }}),
      // The run wait of a build ends on a shutdown request; a recovery build
      // on the worker thread only meets a stop at shutdown here as well.
      capture_(CaptureGraphServices{graph_, settings_, worker_, prompts_, chooser_, nullptr,
                                    window_, clock, shutdown_}) {
    log_.SetListener([this](const ActivityLog::Change& change) { PrintLines(out_, change.added); });
    retry_timer_.setInterval(kRetryBuildMs);
    QObject::connect(&retry_timer_, &QTimer::timeout, [this] {
        if (TryBuild()) retry_timer_.stop();
    });
}

HeadlessRunner::~HeadlessRunner() { Shutdown(); }

void HeadlessRunner::Start() {
    if (started_ || shutdown_.IsSet()) return;
    DiarySettings loaded;
    LoadSettings(loaded);
    settings_.Replace(std::move(loaded));
    RemoveLeftoverTemporaryFiles(settings_.Copy());
    if (const std::string why = WhyNothingIsStored(settings_.Copy()); !why.empty())
        prompts_.ShowMessage(why);
    started_ = true;
    // No window to show: from the start the diary lives as if in the tray.
    graph_.minimised.store(true);
    const bool built = TryBuild();
    log_.AddLogLine("Quillomatを開始しました。");
    if (!built) retry_timer_.start();
}

bool HeadlessRunner::TryBuild() {
    const bool first_run = settings_.Read([](const DiarySettings& s) { return s.SELECT.empty(); });
    if (!capture_.BuildCaptureGraph(true, false)) return false;
    // The build leaves the graph running; between pictures it must not be.
    // The worker may already be grabbing, so wait for its grab to end.
    if (LockGraph(graph_, shutdown_)) {
        capture_.StopWhenReady();
        graph_.lock.unlock();
    }
    // The device just bound is kept even if the process is killed later.
    if (first_run) SaveSettings(settings_.Copy());
    return true;
}

void HeadlessRunner::Shutdown() {
    if (shut_down_) return;
    shut_down_ = true;
    shutdown_.Request();
    retry_timer_.stop();
    // Before the start nothing was loaded, and saving would overwrite the
    // user's files with defaults.
    if (started_) SaveSettings(settings_.Copy());
    capture_.ReleaseCaptureGraph();
}

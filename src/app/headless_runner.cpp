#include "app/headless_runner.h"

#include <algorithm>
#include <mutex>

#include "diary/leftover_files.h"
#include "platform/clock.h"
#include "settings/app_directory.h"
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

HeadlessRunner::HeadlessRunner(Clock& clock, std::FILE* out, std::uint32_t delay_divisor)
    : out_(out),
      prompts_(out),
      engine_(DiaryEngineSeams{
          clock, prompts_, chooser_, nullptr, window_,
          [this](const ActivityLog::Change& change) { PrintLines(out_, change.added); },
          [] { return GetAppDirectory(); }, true, DiaryEngineDelays{}.DividedBy(delay_divisor)}) {
    retry_timer_.setInterval(kRetryBuildMs /
                             static_cast<int>(std::max<std::uint32_t>(delay_divisor, 1)));
    QObject::connect(&retry_timer_, &QTimer::timeout, [this] {
        if (TryBuild()) retry_timer_.stop();
    });
}

HeadlessRunner::~HeadlessRunner() { Shutdown(); }

void HeadlessRunner::Start() {
    if (started_ || engine_.ShutdownRequest().IsSet()) return;
    engine_.LoadSettings();
    RemoveLeftoverTemporaryFiles(engine_.Settings().Copy());
    for (const std::string& remark : StartupRemarks(engine_.Settings().Copy()))
        prompts_.ShowMessage(remark);
    started_ = true;
    // No window to show: from the start the diary lives as if in the tray.
    engine_.Graph().minimised.store(true);
    const bool built = TryBuild();
    engine_.Log().AddLogLine("Quillomatを開始しました。");
    if (!built) retry_timer_.start();
}

bool HeadlessRunner::TryBuild() {
    const bool first_run =
        engine_.Settings().Read([](const DiarySettings& s) { return s.SELECT.empty(); });
    if (!engine_.BuildCaptureGraph(true, false)) return false;
    engine_.StopGraphWhileMinimised();
    // The device just bound is kept even if the process is killed later.
    if (first_run) engine_.SaveSettings();
    return true;
}

void HeadlessRunner::Shutdown() {
    retry_timer_.stop();
    engine_.Shutdown();
}

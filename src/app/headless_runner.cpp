#include "app/headless_runner.h"

#include <algorithm>
#include <mutex>

#include "app/diary_jobs.h"
#include "platform/clock.h"
#include "settings/app_directory.h"

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
          [] { return GetAppDirectory(); }, true, DiaryEngineDelays{}.DividedBy(delay_divisor),
          watchdog_.PingInterval() ? std::function<void()>([this] { watchdog_.Alive(); })
                                   : std::function<void()>()}) {
    AttachDiaryJobs(engine_, &watchdog_);
    if (const auto interval = watchdog_.PingInterval()) {
        // No worker runs while the diary waits for a camera: the retries on
        // this thread are what is alive then. A stuck thread here feeds
        // nothing, and while a worker runs only the worker does.
        waiting_alive_.setInterval(*interval);
        QObject::connect(&waiting_alive_, &QTimer::timeout, [this] {
            if (engine_.WaitingForCamera()) watchdog_.Alive();
        });
    }
}

HeadlessRunner::~HeadlessRunner() { Shutdown(); }

void HeadlessRunner::Start() {
    const auto print = [this](const std::string& text) { PrintLines(out_, text); };
    DiaryStartUpSeams seams;
    seams.remark = print;
    seams.retry_message = print;
    // No window to show: from the start the diary lives as if in the tray.
    seams.minimised = true;
    if (engine_.StartUp(std::move(seams)) != StartUpOutcome::kRunning) return;
    watchdog_.Ready(engine_.WaitingForCamera() ? "カメラを待っています"
                                               : ServiceStatusText(std::nullopt, 0));
    if (watchdog_.PingInterval()) waiting_alive_.start();
}

void HeadlessRunner::Shutdown() {
    if (!engine_.IsShutDown()) watchdog_.Stopping();
    waiting_alive_.stop();
    engine_.Shutdown();
}

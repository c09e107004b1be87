#pragma once

#include <QTimer>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "capture/capture_window.h"
#include "capture/device_chooser.h"
#include "engine/diary_engine.h"
#include "platform/prompts.h"
#include "watchdog/service_watchdog.h"

class Clock;

// Messages go to standard output; questions are never asked (always No), as
// nobody is there to answer them.
class ConsolePrompts final : public Prompts {
public:
    explicit ConsolePrompts(std::FILE* out) : out_(out) {}
    void ShowMessage(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;

private:
    std::FILE* out_;
};

// The window the capture graph reports to, where there is none: the title
// (device and size) goes to standard error, the preview nowhere.
class ConsoleCaptureWindow final : public CaptureWindow {
public:
    void PostTitle(const std::string& title) override;
    void PostPreviewSource(std::shared_ptr<PreviewSource>) override {}
};

// The diary without a window, as the main window runs while it lives in the
// tray: the graph runs only while a grab needs it. Log lines go to `out` in
// the log box's format. Under a service manager that listens (NOTIFY_SOCKET)
// it says when it is ready (after the start-up: the first build, or the
// first failed build when the diary then waits for a camera), keeps the
// watchdog fed from the diary worker's loop (from its own thread only while
// it waits for a camera and no worker runs), and reports the last picture and
// the failed stores in a row as its status. Qt thread only; needs a running
// event loop.
class HeadlessRunner {
public:
    // `delay_divisor` divides every designed delay, the 10 s retry included
    // (tests only; 1 keeps them).
    explicit HeadlessRunner(Clock& clock, std::FILE* out = stdout, std::uint32_t delay_divisor = 1);
    ~HeadlessRunner();
    HeadlessRunner(const HeadlessRunner&) = delete;
    HeadlessRunner& operator=(const HeadlessRunner&) = delete;

    // The engine's start-up: nobody is asked anything, the first camera is
    // taken, and while there is none it is looked for every 10 s.
    void Start();
    // Any thread: ends the waits of a build under way on the Qt thread, so
    // that the Shutdown queued after it comes soon.
    void RequestShutdown() { engine_.RequestShutdown(); }
    // Saves the settings (when they were loaded) and releases the graph,
    // which stops the worker. Runs once; later calls do nothing.
    void Shutdown();

private:
    std::FILE* out_;
    // The seams before the engine, which refers to them.
    ConsolePrompts prompts_;
    AutomaticDeviceChooser chooser_;
    ConsoleCaptureWindow window_;
    ServiceWatchdog watchdog_;
    DiaryEngine engine_;
    QTimer waiting_alive_;
};

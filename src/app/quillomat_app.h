#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class Clock;
class StopSignal;

// STARTUP_TIMER and STARTUP_DIALOG as start-up reads them, straight from
// "setup.ini" in the given folder (ending in "/"): the dialog is on only for
// the exact text "on".
struct StartupSettings {
    std::int32_t timer_seconds = 0;
    bool dialog_on = false;
};
StartupSettings ReadStartupSettings(const std::string& app_directory);

// The countdown dialog, modal, with the real one-second tick; true when the
// system is to start.
bool RunTimerDialog(int seconds);

// The application's own start-up steps before the main window exists.
class CQuillomatApp {
public:
    using Countdown = std::function<bool(int seconds)>;

    // `stop` (optional) ends a plain sleep early, as a declined start.
    explicit CQuillomatApp(Clock& clock, Countdown countdown = RunTimerDialog,
                           const StopSignal* stop = nullptr)
        : clock_(clock), countdown_(std::move(countdown)), stop_(stop) {}

    // The wait at log-on, for every argument (the executable's path included)
    // that is exactly "startup", in order: the settings are read anew each
    // time; with STARTUP_TIMER above 0 either the countdown (STARTUP_DIALOG
    // "on") or a plain sleep of that many seconds. False when the user
    // declined the start (or the sleep was stopped): the main window must not
    // be shown and no device touched.
    bool RunStartupWaits(const std::vector<std::string>& arguments,
                         const std::string& app_directory);

private:
    Clock& clock_;
    Countdown countdown_;
    const StopSignal* stop_;
};

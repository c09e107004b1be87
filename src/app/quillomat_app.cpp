#include "app/quillomat_app.h"

#include <QApplication>
#include <algorithm>

#include "app/timer_dialog.h"
#include "platform/clock.h"
#include "settings/ini_file.h"

StartupSettings ReadStartupSettings(const std::string& app_directory) {
    const IniFile ini = IniFile::Load(app_directory + "setup.ini");
    StartupSettings settings;
    settings.timer_seconds = ini.GetInt("APPLICATION", "STARTUP_TIMER", 0);
    settings.dialog_on = ini.GetString("APPLICATION", "STARTUP_DIALOG").value_or("off") == "on";
    return settings;
}

bool RunTimerDialog(int seconds) {
    // The countdown is the only window yet: its closing must not end the
    // application before the main window is shown.
    const bool quit_on_close = QApplication::quitOnLastWindowClosed();
    QApplication::setQuitOnLastWindowClosed(false);
    CTimerDialog dialog(seconds);
    const bool start = dialog.exec() == QDialog::Accepted;
    QApplication::setQuitOnLastWindowClosed(quit_on_close);
    return start;
}

bool CQuillomatApp::RunStartupWaits(const std::vector<std::string>& arguments,
                                    const std::string& app_directory) {
    for (const std::string& argument : arguments) {
        if (argument != "startup") continue;
        const StartupSettings settings = ReadStartupSettings(app_directory);
        if (settings.timer_seconds <= 0) continue;
        if (settings.dialog_on) {
            if (!countdown_(settings.timer_seconds)) return false;
            continue;
        }
        // Up to 2^31 s: the sleep goes in pieces the clock can take.
        std::int64_t remaining_ms = std::int64_t{settings.timer_seconds} * 1000;
        while (remaining_ms > 0) {
            const auto piece = static_cast<std::uint32_t>(
                std::min<std::int64_t>(remaining_ms, std::int64_t{1} << 30));
            if (clock_.SleepMs(piece, stop_)) return false;
            remaining_ms -= piece;
        }
    }
    return true;
}

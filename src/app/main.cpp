#include <QGuiApplication>
#include <QTimer>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/headless_runner.h"
#include "app/signal_relay.h"
#include "app/ui_language.h"
#include "app/version.h"
#include "diary/leftover_files.h"
#include "platform/clock.h"
#include "platform/folder_lock.h"
#include "settings/app_directory.h"

#ifdef QUILLOMAT_WITH_WINDOW
#include <dlfcn.h>

#include <QApplication>

#include "app/main_dialog.h"
#include "app/message_box_prompts.h"
#include "app/quillomat_app.h"
#endif

namespace {

constexpr const char* kUsage =
    "Usage: quillomat [startup] [--headless]\n"
    "\n"
    "Records a webcam photo diary: JPEG pictures at an interval and on motion,\n"
    "one folder per day, with a day page and an index page for any web server.\n"
    "\n"
    "Arguments:\n"
    "  (none)       open the main window.\n"
    "  startup      wait STARTUP_TIMER seconds first (with a countdown when\n"
    "               STARTUP_DIALOG is on), as the log-on start does.\n"
    "  --headless   run without any window or display; log lines go to standard\n"
    "               output. SIGINT or SIGTERM saves the settings and ends it.\n"
    "  --help       show this text and exit.\n"
    "  --version    show the version and exit.\n"
    "\n"
    "Environment:\n"
    "  QUILLOMAT_HOME          folder of setup.ini, device.ini and log.txt\n"
    "                          (default: the folder of the executable when it is\n"
    "                          writable, else ~/.local/share/quillomat/).\n"
    "  QUILLOMAT_LANGUAGE      ja or en: the language of the windows and the log\n"
    "                          lines (default: as LANGUAGE, LC_ALL, LC_MESSAGES and\n"
    "                          LANG say; Japanese for C, English for any language\n"
    "                          but Japanese). log.txt keeps its Japanese lines.\n"
    "  QUILLOMAT_TEST_DEVICES  built-in test cameras, e.g. 'Cam' or\n"
    "                          'Cam,Still:still,Broken:fail'; options after the\n"
    "                          name, each after a colon: moving (default), bars,\n"
    "                          still, counter, fail, fail=N, stop=N, WxH, controls,\n"
    "                          mjpeg, unplugged=PATH, dark=PATH, corrupt=N,\n"
    "                          warmup=MS, stale=N, hang=N. The faults (counter,\n"
    "                          fail, unplugged, dark, corrupt, warmup, stale, hang)\n"
    "                          need the tests' plugin:\n"
    "                          QUILLOMAT_TEST_DEVICE_PLUGIN=PATH.\n"
    "  QUILLOMAT_TEST_DELAYS   tests only: divides every designed delay (the run\n"
    "                          wait, the grab's polls and recoveries, the worker's\n"
    "                          forced end, the 10 s device retry) by this number,\n"
    "                          1 to 1000.\n"
    "  NOTIFY_SOCKET, WATCHDOG_USEC  set by systemd (Type=notify): --headless then\n"
    "                          says when it is ready, shows its status and feeds\n"
    "                          the watchdog from its recording thread.\n"
    "\n"
    "Exit status:\n"
    "  0  ended normally.\n"
    "  1  SIGINT and SIGTERM could not be taken over.\n"
    "  2  wrong arguments, or no display for the main window.\n"
    "  3  another copy already runs on the same settings folder (QUILLOMAT_HOME);\n"
    "     only one copy may record into one diary.\n"
    "\n"
    "The settings files and their keys: man quillomat.\n";

constexpr int kExitAnotherCopy = 3;

// One diary per settings folder: two copies would store over each other's
// pictures and write each other's pages. False when another copy holds the
// folder; the lock is held until the process ends. A folder that cannot be
// locked at all is said and not held against the start.
bool TakeSettingsFolder(FolderLock& lock, const std::string& folder) {
    switch (lock.Take(folder)) {
        case FolderLock::Outcome::kTaken:
            // No other copy is writing here: what a cut-off write left is
            // nobody's any more.
            RemoveSettingsFolderLeftovers(folder);
            return true;
        case FolderLock::Outcome::kHeldElsewhere:
            return false;
        case FolderLock::Outcome::kUnavailable:
            std::fprintf(stderr, "quillomat: cannot lock the settings folder (%s)\n",
                         lock.Error().c_str());
            return true;
    }
    return true;
}

std::uint32_t TestDelayDivisor() {
    const char* value = std::getenv("QUILLOMAT_TEST_DELAYS");
    if (value == nullptr || *value == '\0') return 1;
    char* end = nullptr;
    const long divisor = std::strtol(value, &end, 10);
    if (*end != '\0' || divisor < 1 || divisor > 1000) {
        std::fprintf(stderr, "quillomat: ignoring QUILLOMAT_TEST_DELAYS='%s'\n", value);
        return 1;
    }
    return static_cast<std::uint32_t>(divisor);
}

int RunHeadless(int argc, char** argv) {
    const std::string folder = GetAppDirectory();
    FolderLock lock;
    if (!TakeSettingsFolder(lock, folder)) {
        std::fprintf(stderr,
                     "quillomat: another copy is already running on the settings folder %s; "
                     "this one ends.\n",
                     folder.c_str());
        return kExitAnotherCopy;
    }
    // Text is drawn into pictures with QPainter, which needs a platform; the
    // offscreen one needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!SignalRelay::BlockStopSignals()) {
        std::fputs("quillomat: cannot take over SIGINT/SIGTERM\n", stderr);
        return EXIT_FAILURE;
    }
    QGuiApplication app(argc, argv);
    LoadInterfaceTranslations(app);

    HeadlessRunner runner(SystemClockInstance(), stdout, TestDelayDivisor());
    SignalRelay signals([&](int) {
        runner.RequestShutdown();
        QMetaObject::invokeMethod(
            &app,
            [&] {
                runner.Shutdown();
                // Notices the worker posted before it stopped still reach the log.
                QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
                QCoreApplication::exit(EXIT_SUCCESS);
            },
            Qt::QueuedConnection);
    });
    QTimer::singleShot(0, [&] { runner.Start(); });
    return app.exec();
}

#ifdef QUILLOMAT_WITH_WINDOW

// Whether a window can be opened at all, asked before Qt is, which would
// abort without a display. An X display is tried for real; libX11 is loaded
// only for this question.
bool DisplayAvailable() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && *platform != '\0') return true;
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland != nullptr && *wayland != '\0') return true;
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') return false;
    void* x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (x11 == nullptr) return true;  // let Qt's own check speak
    using OpenDisplay = void* (*)(const char*);
    using CloseDisplay = int (*)(void*);
    auto open = reinterpret_cast<OpenDisplay>(dlsym(x11, "XOpenDisplay"));
    auto close = reinterpret_cast<CloseDisplay>(dlsym(x11, "XCloseDisplay"));
    bool available = true;
    if (open != nullptr && close != nullptr) {
        void* connection = open(display);
        available = connection != nullptr;
        if (connection != nullptr) close(connection);
    }
    dlclose(x11);
    return available;
}

int RunWindow(int argc, char** argv, const std::vector<std::string>& arguments) {
    if (!DisplayAvailable()) {
        std::fputs(
            "quillomat: no display to open the main window on; "
            "use 'quillomat --headless' to record without one.\n",
            stderr);
        return 2;
    }
    if (!SignalRelay::BlockStopSignals()) {
        std::fputs("quillomat: cannot take over SIGINT/SIGTERM\n", stderr);
        return EXIT_FAILURE;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillomat"));
    QApplication::setDesktopFileName(QStringLiteral("quillomat"));
    LoadInterfaceTranslations(app);
    LoadQtTranslations(app);
    // The window hides to the tray and behind the version information; only
    // its own close ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    StopSignal startup_stop;
    CMainDialog* window = nullptr;
    SignalRelay signals([&](int) {
        startup_stop.Request();
        QMetaObject::invokeMethod(
            &app,
            [&] {
                if (window != nullptr) {
                    window->RequestShutdown();
                } else if (QWidget* modal = QApplication::activeModalWidget()) {
                    // The countdown: a declined start.
                    modal->close();
                }
            },
            Qt::QueuedConnection);
    });

    // Before the log-on wait: a second start says so at once.
    const std::string folder = GetAppDirectory();
    FolderLock lock;
    if (!TakeSettingsFolder(lock, folder)) {
        MessageBoxPrompts(nullptr).ShowMessage(
            QCoreApplication::translate("main",
                                        "Quillomatは既にこの設定フォルダで動作しています。"
                                        "\n%1")
                .arg(QString::fromStdString(folder))
                .toStdString());
        return kExitAnotherCopy;
    }

    CQuillomatApp startup(SystemClockInstance(), RunTimerDialog, &startup_stop);
    if (!startup.RunStartupWaits(arguments, folder) || startup_stop.IsSet()) {
        return EXIT_SUCCESS;
    }

    CMainDialog dialog(MainDialogSeams{SystemClockInstance()});
    window = &dialog;
    if (!dialog.Initialise()) {
        // Notices posted before the worker stopped still reach the log.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        return EXIT_SUCCESS;
    }
    dialog.show();
    const int status = app.exec();
    window = nullptr;
    return status;
}

#endif

}  // namespace

int main(int argc, char** argv) {
    bool headless = false;
    // The executable's path counts: the start-up waits look at every argument.
    std::vector<std::string> arguments{argc > 0 ? argv[0] : "quillomat"};
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return EXIT_SUCCESS;
        }
        if (arg == "--version") {
            std::puts("Quillomat " QUILLOMAT_VERSION);
            return EXIT_SUCCESS;
        }
        if (arg == "--headless") {
            headless = true;
            continue;
        }
        if (arg == "startup") {
            arguments.emplace_back(arg);
            continue;
        }
        std::fprintf(stderr, "quillomat: unknown argument '%s'\n\n%s", argv[i], kUsage);
        return 2;
    }
    if (headless) return RunHeadless(argc, argv);
#ifdef QUILLOMAT_WITH_WINDOW
    return RunWindow(argc, argv, arguments);
#else
    std::fputs("quillomat: this build has no main window; use 'quillomat --headless'.\n", stderr);
    return 2;
#endif
}

#include <QGuiApplication>
#include <QTimer>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "app/headless_runner.h"
#include "app/signal_relay.h"
#include "platform/clock.h"

namespace {

constexpr const char* kUsage =
    "Usage: quillomat [--headless]\n"
    "\n"
    "Records a webcam photo diary: JPEG pictures at an interval and on motion,\n"
    "one folder per day, with a day page and an index page for any web server.\n"
    "\n"
    "Options:\n"
    "  --headless   run without any window or display; log lines go to standard\n"
    "               output. SIGINT or SIGTERM saves the settings and ends it.\n"
    "  --help       show this text and exit.\n"
    "  --version    show the version and exit.\n"
    "\n"
    "Environment:\n"
    "  QUILLOMAT_HOME          folder of setup.ini, device.ini and log.txt\n"
    "                          (default: the folder of the executable).\n"
    "  QUILLOMAT_TEST_DEVICES  built-in test cameras, e.g. 'Cam' or\n"
    "                          'Cam,Still:still,Broken:fail'; modes: moving (default),\n"
    "                          bars, still, fail, fail=N, stop=N, WxH, controls.\n"
    "  QUILLOMAT_TEST_DELAYS   tests only: divides every designed delay (the run\n"
    "                          wait, the grab's polls and recoveries, the worker's\n"
    "                          forced end, the 10 s device retry) by this number,\n"
    "                          1 to 1000.\n"
    "\n"
    "The window version is not part of this build yet; without --headless the\n"
    "program runs headless as well.\n";

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

}  // namespace

int main(int argc, char** argv) {
    bool headless = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return EXIT_SUCCESS;
        }
        if (arg == "--version") {
            std::puts("Quillomat 1.61");
            return EXIT_SUCCESS;
        }
        if (arg == "--headless") {
            headless = true;
            continue;
        }
        std::fprintf(stderr, "quillomat: unknown argument '%s'\n\n%s", argv[i], kUsage);
        return 2;
    }
    if (!headless) {
        std::fputs("quillomat: no main window in this build; running headless.\n", stderr);
    }
    // Text is drawn into pictures with QPainter, which needs a platform; the
    // offscreen one needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!SignalRelay::BlockStopSignals()) {
        std::fputs("quillomat: cannot take over SIGINT/SIGTERM\n", stderr);
        return EXIT_FAILURE;
    }
    QGuiApplication app(argc, argv);

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

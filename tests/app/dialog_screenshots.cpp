// Saves PNG pictures of the countdown, version information and snapshot
// dialogs and of the extra settings dialog's schedule tab as a desktop shows
// them (window frame included where a window manager runs) into the folder
// given as the only argument.
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/about_dialog.h"
#include "app/timer_dialog.h"
#include "capture/graph_state.h"
#include "diary/snapshot.h"
#include "diary/ui/snapshot_dialog.h"
#include "event_commands/ui/event_commands_page.h"
#include "platform/prompts.h"
#include "platform/stop_signal.h"
#include "publish/ui/publish_setup_page.h"
#include "retention/ui/retention_page.h"
#include "schedule/schedule_settings.h"
#include "schedule/ui/schedule_page.h"
#include "settings/shared_settings.h"
#include "settings/ui/extra_setup_dialog.h"
#include "support/fake_clock.h"
#include "support/fake_frame_source.h"
#include "support/local_time.h"
#include "timelapse/ui/timelapse_page.h"

namespace {

QString out_dir;

void Wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void Save(QWidget* window, const QString& name) {
    Wait(400);
    QScreen* screen = window->screen();
    QPixmap picture =
        screen->grabWindow(0, window->frameGeometry().x(), window->frameGeometry().y(),
                           window->frameGeometry().width(), window->frameGeometry().height());
    std::printf("frame %d,%d %dx%d\n", window->frameGeometry().x(), window->frameGeometry().y(),
                window->frameGeometry().width(), window->frameGeometry().height());
    if (picture.width() < window->width() ||
        QGuiApplication::platformName() == QStringLiteral("offscreen"))
        picture = window->grab();
    const QString path = QDir(out_dir).filePath(name);
    picture.save(path);
    std::printf("%s %dx%d (client %dx%d)\n", qPrintable(path), picture.width(), picture.height(),
                window->width(), window->height());
}

class NoPrompts final : public Prompts {
public:
    void ShowMessage(const std::string& text) override { std::printf("%s\n", text.c_str()); }
    bool AskYesNo(const std::string&) override { return false; }
};

class ScreenshotView final : public SnapshotView {
public:
    std::string ChooseSnapshotPath(const std::string& bitmap_path,
                                   const std::string& stem) override {
        CSnapshotDialog dialog(stem, bitmap_path);
        QTimer::singleShot(0, &dialog, [&] {
            Save(&dialog, QStringLiteral("snapshot_dialog.png"));
            dialog.reject();
        });
        dialog.exec();
        return {};
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: dialog_screenshots <folder>\n");
        return 2;
    }
    out_dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out_dir);

    {
        CTimerDialog dialog(10, nullptr, 300);
        auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("countdown"));
        QObject::connect(edit, &QLineEdit::textChanged, &dialog, [&](const QString&) {
            if (dialog.RemainingSeconds() == 10) {
                Save(&dialog, QStringLiteral("timer_dialog.png"));
                dialog.reject();
            }
        });
        dialog.exec();
    }
    {
        CAboutDialog dialog;
        QTimer::singleShot(0, &dialog, [&] {
            Save(&dialog, QStringLiteral("about_dialog.png"));
            dialog.accept();
        });
        dialog.exec();
    }
    {
        const FrameFormat format{320, 240};
        FakeFrameSource source(format);
        source.SetFrameGenerator([format](int n, std::uint8_t* frame, std::size_t size) {
            for (std::size_t i = 0; i < size; ++i) {
                const std::size_t x = (i % format.Stride()) / 3;
                const std::size_t y = i / format.Stride();
                frame[i] = static_cast<std::uint8_t>(i % 3 == 0   ? x * 255 / 320
                                                     : i % 3 == 1 ? y + n
                                                                  : 128);
            }
        });
        GraphState graph;
        graph.ready = true;
        FakeClock clock;
        StopSignal stop;
        SharedSettings settings;
        NoPrompts prompts;
        ScreenshotView view;
        const QString home = QDir(out_dir).filePath(QStringLiteral("snapshot_home"));
        QDir().mkpath(home);
        TakeSnapshot(
            {source, graph, clock, stop, settings, prompts, view, home.toStdString() + "/"});
        QDir(home).removeRecursively();
    }
    {
        // The tabs as the program adds them, the schedule's in front, on a
        // weekday morning with hours from sunrise, a day of its own and a place.
        // The place's own zone, so that its sun is at the hours it has there.
        ::setenv("TZ", "Europe/Berlin", 1);
        ::tzset();
        SharedSettings settings;
        settings.Update([](DiarySettings& s) {
            ScheduleSettings& schedule = s.Section<ScheduleSettings>();
            schedule.HOURS = "sunrise-19:00";
            schedule.SAT = "09:00-12:00";
            schedule.SUN = "";
            schedule.LATITUDE = "52.52";
            schedule.LONGITUDE = "13.41";
            schedule.AT = "12:00,sunset";
            schedule.SKIP_DARK_BELOW = 20;
        });
        FakeClock clock(LocalTime(2024, 12, 20, 10, 30));
        NoPrompts prompts;
        CExtraSetupDialog dialog(settings);
        dialog.AddPage(new RetentionPage(prompts, clock));
        dialog.AddPage(new TimelapsePage(prompts));
        dialog.AddPage(new PublishSetupPage(prompts));
        dialog.AddPage(new EventCommandsPage(prompts));
        auto* schedule = new SchedulePage(prompts, clock);
        dialog.AddPage(schedule);
        QTimer::singleShot(0, &dialog, [&] {
            dialog.Tabs()->setCurrentWidget(schedule);
            Save(&dialog, QStringLiteral("extra_setup_schedule.png"));
            dialog.reject();
        });
        dialog.exec();
    }
    return 0;
}

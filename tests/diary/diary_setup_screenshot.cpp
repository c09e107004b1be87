// Opens the capture settings dialog on a moving test device and saves a
// picture of it once its graph has moved: `diary_setup_screenshot OUT.png`.
// Run under a real X server (scripts/screenshots uses Xvfb).
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "capture/ui/preview_view.h"
#include "controls/push_graph.h"
#include "diary/ui/diary_setup_dialog.h"
#include "platform/clock.h"
#include "platform/prompts.h"
#include "settings/shared_settings.h"

namespace {
class PrintedPrompts final : public Prompts {
public:
    void ShowMessage(const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    bool AskYesNo(const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
        return false;
    }
};
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
        return 2;
    }
    ::setenv("QUILLOMAT_TEST_DEVICES", "Cam", 0);
    QApplication app(argc, argv);
    SharedSettings settings;
    settings.Update([](DiarySettings& s) {
        s.SAVE_DIRECTORY = "/home/diary/pictures/";
        s.MOTION_DETECT = true;
        s.MOTION_DETECT_UPDATE = 100;
        s.MOTION_DETECT_LEVEL = 20;
    });
    PrintedPrompts prompts;
    CDiarySetupDialog dialog(
        DiarySetupServices{settings, prompts, SystemClockInstance(), false, {}});
    dialog.SetDeviceInfo("Cam", 320, 240, 333333);
    const QString out = QString::fromLocal8Bit(argv[1]);
    int waited_ms = 0;
    QTimer poll;
    poll.setInterval(100);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        waited_ms += 100;
        const auto scores = dialog.MotionGraph()->Model().Values(0);
        int moved = 0;
        for (int v : scores) moved += v > 0 ? 1 : 0;
        if (moved < 25 && waited_ms < 60000) return;
        dialog.grab().save(out);
        std::printf("%s: %d moving values after %d ms, %llu frames\n", argv[1], moved, waited_ms,
                    static_cast<unsigned long long>(dialog.LivePicture()->FramesShown()));
        dialog.reject();
    });
    poll.start();
    dialog.exec();
    return 0;
}

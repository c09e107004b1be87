// Saves a picture of the time text settings dialog as it opens:
// `time_text_setup_screenshot FOLDER` writes FOLDER/time_text_setup_dialog.png.
#include <QApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>

#include "platform/prompts.h"
#include "settings/shared_settings.h"
#include "settings/ui/time_text_setup_dialog.h"

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
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    SharedSettings settings;
    settings.Update([](DiarySettings& s) {
        s.FONT_NAME = "IPAGothic";
        s.TEXT_COLOR = 0x00FFFF;  // yellow
        s.SHADOW_COLOR = 0x400000;
    });
    PrintedPrompts prompts;
    CTimeTextSetupDialog dialog(TimeTextSetupServices{settings, prompts, {}, {}});
    const QString path =
        QDir(QString::fromLocal8Bit(argv[1])).filePath("time_text_setup_dialog.png");
    QTimer::singleShot(300, &dialog, [&] {
        const bool saved = dialog.grab().save(path);
        std::printf("%s %dx%d%s\n", qPrintable(path), dialog.width(), dialog.height(),
                    saved ? "" : " (not saved)");
        dialog.reject();
    });
    dialog.exec();
    return 0;
}

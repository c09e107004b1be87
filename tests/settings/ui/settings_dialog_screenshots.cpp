// Saves PNG pictures of the web page settings and application settings
// dialogs into the folder given as the only argument:
// settings_dialog_screenshots <folder>.
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>

#include "platform/prompts.h"
#include "settings/shared_settings.h"
#include "settings/ui/app_config_dialog.h"
#include "settings/ui/html_setup_dialog.h"

namespace {

class PrintedPrompts final : public Prompts {
public:
    void ShowMessage(const std::string& text) override { std::printf("%s\n", text.c_str()); }
    bool AskYesNo(const std::string&) override { return false; }
};

void Save(QDialog& dialog, const QString& path) {
    dialog.show();
    QEventLoop loop;
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
    dialog.grab().save(path);
    std::printf("%s %dx%d\n", qPrintable(path), dialog.width(), dialog.height());
    dialog.reject();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: settings_dialog_screenshots <folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    SharedSettings settings;
    settings.Update([](DiarySettings& s) {
        s.TOP_CODE = "<p class=\"note\">\n今日のカメラ</p>";
        s.STARTUP_TIMER = 30;
        s.LOGFILE = true;
        s.JPEG_QUALITY = 75;
    });
    PrintedPrompts prompts;
    CHtmlSetupDialog html(HtmlSetupServices{settings, prompts, [] { return std::string("/"); }});
    Save(html, out.filePath(QStringLiteral("html_setup_dialog.png")));
    CAppConfigDlg config(AppConfigServices{settings, prompts, [] { return std::string("/"); },
                                           [](const std::string&) {}});
    Save(config, out.filePath(QStringLiteral("app_config_dialog.png")));
    return 0;
}

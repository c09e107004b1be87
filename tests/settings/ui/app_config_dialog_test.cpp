#include "settings/ui/app_config_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "capture/capture_fakes.h"
#include "controls/spin_edit.h"
#include "platform/file_error.h"
#include "settings/shared_settings.h"
#include "settings/startup_shortcut.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

struct AppFixture {
    explicit AppFixture(std::function<std::string()> startup_folder = {})
        : dialog(AppConfigServices{settings, prompts, [this] { return app_dir.str(); },
                                   [this](const std::string& path) { opened.push_back(path); },
                                   std::move(startup_folder),
                                   [] { return std::string("/opt/My Apps/quillomat"); }}) {
        dialog.show();
    }
    QWidget* Widget(const char* id) { return dialog.findChild<QWidget*>(QString::fromUtf8(id)); }
    void Press(const char* id) { static_cast<QAbstractButton*>(Widget(id))->click(); }
    void Tick(const char* id) { static_cast<QAbstractButton*>(Widget(id))->setChecked(true); }
    SpinEdit* Timer() { return dialog.findChild<SpinEdit*>("1039"); }
    std::string LogPath() const { return app_dir.str() + "log.txt"; }

    TempDir app_dir;
    SharedSettings settings;
    RecordingPrompts prompts;
    std::vector<std::string> opened;
    CAppConfigDlg dialog;
};

QRect SliderPart(QSlider* slider, QStyle::SubControl part) {
    QStyleOptionSlider opt;
    opt.initFrom(slider);
    opt.subControls = QStyle::SC_All;
    opt.orientation = slider->orientation();
    opt.minimum = slider->minimum();
    opt.maximum = slider->maximum();
    opt.tickPosition = slider->tickPosition();
    opt.tickInterval = slider->tickInterval();
    opt.sliderPosition = slider->sliderPosition();
    opt.sliderValue = slider->value();
    return slider->style()->subControlRect(QStyle::CC_Slider, &opt, part, slider);
}

TEST(AppConfigDialog, ShowsItsControlsAndTakesChecksAndTimerOverOnlyOnAnAcceptedOk) {
    AppFixture f;
    EXPECT_EQ(f.dialog.windowTitle(), QStringLiteral("アプリケーション設定"));
    for (auto [id, name] : std::initializer_list<std::pair<const char*, const char*>>{
             {"1039", "秒後に起動する"},
             {"1054", "起動までの秒数をダイアログで表示する"},
             {"1024", "ログをファイルに出力する"},
             {"1025", "閉じるボタンでアプリケーションを終了しない"},
             {"1052", "JPEG保存画質"},
             {"1002", "ショートカット作成"},
             {"1003", "ショートカット削除"},
             {"1000", "ログファイルを開く"},
             {"1001", "ログファイルを削除"},
             {"1", "OK"},
             {"2", "キャンセル"}}) {
        QWidget* w = f.Widget(id);
        ASSERT_NE(w, nullptr) << id;
        EXPECT_EQ(w->accessibleName(), QString::fromUtf8(name)) << id;
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_EQ(b->text(), w->accessibleName()) << id;
        }
    }
    QSlider* slider = f.dialog.QualitySlider();
    EXPECT_EQ(slider->maximum(), 100);
    EXPECT_EQ(slider->tickInterval(), 10);
    EXPECT_EQ(slider->value(), 80);
    EXPECT_TRUE(f.Timer()->lineEdit()->isReadOnly());
    f.Timer()->stepBy(500);  // the spin stops at 180
    EXPECT_EQ(f.Timer()->lineEdit()->text(), QStringLiteral("180"));
    f.Tick("1024");
    f.Press("2");
    EXPECT_EQ(f.settings.Copy(), DiarySettings{});

    f.dialog.show();
    EXPECT_EQ(f.Timer()->lineEdit()->text(), QStringLiteral("0"));
    f.Tick("1054");
    f.Tick("1024");
    f.Tick("1025");
    // Only a program can put text into the read-only edit; the checks hold.
    for (auto [text, prompt] : std::initializer_list<std::pair<const char*, const char*>>{
             {"abc", "Please enter an integer."},
             {"181", "Please enter an integer between 0 and 180."}}) {
        f.Timer()->lineEdit()->setText(text);
        f.Press("1");
        EXPECT_TRUE(f.dialog.isVisible());
        EXPECT_EQ(f.prompts.messages().back(), prompt);
    }
    // A refused OK stores nothing, not even the rejected number; Cancel
    // then leaves every setting as it was.
    EXPECT_EQ(f.settings.Copy(), DiarySettings{});
    f.Press("2");
    EXPECT_EQ(f.settings.Copy(), DiarySettings{});

    f.dialog.show();
    f.Tick("1054");
    f.Tick("1024");
    f.Tick("1025");
    f.Timer()->lineEdit()->setText("10");
    f.Press("1");
    EXPECT_FALSE(f.dialog.isVisible());
    DiarySettings expected;
    expected.STARTUP_TIMER = 10;
    expected.STARTUP_DIALOG = expected.LOGFILE = expected.CLOSECANCEL = true;
    EXPECT_EQ(f.settings.Copy(), expected);
}

TEST(AppConfigDialog, QualityIsTakenOverWhenTheMouseLetsGoOfTheSliderUntilCancel) {
    AppFixture f;
    QSlider* slider = f.dialog.QualitySlider();
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Left);  // keys move it without taking it over
    EXPECT_EQ(slider->value(), 79);
    EXPECT_EQ(f.settings.Copy().JPEG_QUALITY, 80);

    const QRect handle = SliderPart(slider, QStyle::SC_SliderHandle);
    const QRect groove = SliderPart(slider, QStyle::SC_SliderGroove);
    const QPoint to(
        groove.x() + handle.width() / 2 +
            QStyle::sliderPositionFromValue(0, 100, 30, groove.width() - handle.width()),
        handle.center().y());
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, handle.center());
    QMouseEvent move(QEvent::MouseMove, QPointF(to), slider->mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(slider, &move);
    EXPECT_EQ(slider->value(), 30);
    EXPECT_EQ(f.settings.Copy().JPEG_QUALITY, 80);  // not while the mouse holds it
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, to);
    EXPECT_EQ(f.settings.Copy().JPEG_QUALITY, 30);
    QTest::keyClick(slider, Qt::Key_Left);
    // Cancel takes back what this opening changed.
    f.Press("2");
    EXPECT_EQ(f.settings.Copy().JPEG_QUALITY, 80);

    // A click beside the handle pages, and counts when the mouse lets go;
    // OK keeps it.
    f.dialog.show();
    EXPECT_EQ(slider->value(), 80);
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier,
                      QPoint(groove.right() - 2, handle.center().y()));
    EXPECT_GT(slider->value(), 80);
    EXPECT_EQ(f.settings.Copy().JPEG_QUALITY, slider->value());
    f.Press("1");
    EXPECT_EQ(f.settings.Copy().JPEG_QUALITY, slider->value());
}

TEST(AppConfigDialog, LogFileOpensAndDeletesWithItsMessages) {
    AppFixture f;
    f.Press("1000");
    f.Press("1001");
    EXPECT_EQ(f.prompts.messages(), std::vector<std::string>(2, kNoLogFileMessage));
    EXPECT_TRUE(f.opened.empty());
    EXPECT_TRUE(f.prompts.questions().empty());

    WriteFileBytes(f.LogPath(), "log line\r\n");
    f.Press("1000");
    EXPECT_EQ(f.opened, std::vector<std::string>{f.LogPath()});
    f.prompts.on_question = [] { return false; };
    f.Press("1001");
    EXPECT_EQ(f.prompts.questions(), std::vector<std::string>{"ログファイルを削除します"});
    EXPECT_TRUE(fs::exists(f.LogPath()));
    f.prompts.on_question = [] { return true; };
    f.Press("1001");
    EXPECT_FALSE(fs::exists(f.LogPath()));
    EXPECT_EQ(f.prompts.messages().size(), 2u);

    // A removal that fails shows the file error (a folder in the way fails
    // for root as well) and the dialog stays open.
    fs::create_directories(f.LogPath() + "/kept");
    f.Press("1001");
    EXPECT_EQ(f.prompts.messages().back(), "Access to " + f.LogPath() + " was denied.");
    EXPECT_TRUE(f.dialog.isVisible());
}

TEST(AppConfigDialog, StartupShortcutCreatedTwiceDeletedMissingAndUnwritable) {
    TempDir config, home;
    ScopedEnv xdg("XDG_CONFIG_HOME", config.path().string());
    ScopedEnv quillomat_home("QUILLOMAT_HOME", home.str());
    AppFixture f;
    const std::string entry = config.str() + "autostart/Quillomat.desktop";
    f.Press("1003");
    EXPECT_EQ(f.prompts.messages(), std::vector<std::string>{"ショートカットが存在しません"});
    EXPECT_TRUE(f.prompts.questions().empty());

    f.Press("1002");
    const std::string first = ReadFileBytes(entry);
    EXPECT_NE(first.find("\nExec=env QUILLOMAT_HOME=" + home.str() +
                         " \"/opt/My Apps/quillomat\" startup\n"),
              std::string::npos)
        << first;
    WriteFileBytes(entry, "stale");
    f.Press("1002");  // replaced, with the same question and no word about it
    EXPECT_EQ(ReadFileBytes(entry), first);
    EXPECT_EQ(f.prompts.questions(), std::vector<std::string>(2, kCreateShortcutQuestion));
    EXPECT_EQ(f.prompts.messages().size(), 1u);

    f.prompts.on_question = [] { return false; };
    f.Press("1003");
    EXPECT_TRUE(fs::exists(entry));
    f.prompts.on_question = [] { return true; };
    f.Press("1003");
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_EQ(f.prompts.questions().back(),
              "スタートアップフォルダのQuillomatのショートカットを削除します");

    // A file where the folder belongs: the creation is reported.
    fs::remove_all(config.path() / "autostart");
    WriteFileBytes(config.path() / "autostart", "not a folder");
    f.Press("1002");
    EXPECT_EQ(f.prompts.messages().back(), FileErrorMessage(entry, ENOTDIR));

    // Without any autostart folder nothing is asked or said.
    AppFixture none([] { return std::string(); });
    none.Press("1002");
    none.Press("1003");
    EXPECT_TRUE(none.prompts.questions().empty());
    EXPECT_TRUE(none.prompts.messages().empty());
}

}  // namespace

#include "settings/ui/app_config_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <algorithm>
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

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

struct AppFixture {
    AppFixture()
        : dialog(AppConfigServices{settings, prompts, [this] { return app_dir.str(); },
                                   [this](const std::string& path) { opened.push_back(path); },
                                   startup_folder,
                                   [] { return std::string("/opt/My Apps/quillomat"); }}) {}

    template <class T>
    T* Find(const char* id) {
        T* widget = dialog.findChild<T*>(QString::fromUtf8(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }
    void Press(const char* id) { Find<QPushButton>(id)->click(); }
    SpinEdit* Timer() { return Find<SpinEdit>("1039"); }
    std::string LogPath() const { return app_dir.str() + "log.txt"; }

    TempDir app_dir;
    SharedSettings settings;
    RecordingPrompts prompts;
    std::vector<std::string> opened;
    std::function<std::string()> startup_folder;  // unset: the real one
    CAppConfigDlg dialog;
};

QStyleOptionSlider SliderOption(QSlider* slider) {
    QStyleOptionSlider opt;
    opt.initFrom(slider);
    opt.subControls = QStyle::SC_All;
    opt.orientation = slider->orientation();
    opt.maximum = slider->maximum();
    opt.minimum = slider->minimum();
    opt.tickPosition = slider->tickPosition();
    opt.tickInterval = slider->tickInterval();
    opt.upsideDown = false;
    opt.direction = slider->layoutDirection();
    opt.sliderPosition = slider->sliderPosition();
    opt.sliderValue = slider->value();
    opt.singleStep = slider->singleStep();
    opt.pageStep = slider->pageStep();
    return opt;
}

void SendMove(QWidget* widget, QPoint to) {
    QMouseEvent move(QEvent::MouseMove, QPointF(to), widget->mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

TEST(AppConfigDialog, ShowsItsControlsAndTakesChecksAndTimerOverOnlyOnOk) {
    AppFixture f;
    f.settings.Update([](DiarySettings& s) { s.STARTUP_TIMER = 12; });
    f.dialog.show();
    EXPECT_EQ(f.dialog.windowTitle(), QStringLiteral("アプリケーション設定"));
    EXPECT_EQ(f.Timer()->accessibleName(), QStringLiteral("秒後に起動する"));
    EXPECT_EQ(f.Timer()->Minimum(), 0);
    EXPECT_EQ(f.Timer()->Maximum(), 180);
    EXPECT_TRUE(f.Timer()->lineEdit()->isReadOnly());
    EXPECT_EQ(f.Timer()->lineEdit()->text(), QStringLiteral("12"));
    for (auto [id, text] : std::initializer_list<std::pair<const char*, const char*>>{
             {"1054", "起動までの秒数をダイアログで表示する"},
             {"1024", "ログをファイルに出力する"},
             {"1025", "閉じるボタンでアプリケーションを終了しない"}}) {
        EXPECT_EQ(f.Find<QCheckBox>(id)->text(), QString::fromUtf8(text));
        EXPECT_EQ(f.Find<QCheckBox>(id)->accessibleName(), QString::fromUtf8(text));
        EXPECT_FALSE(f.Find<QCheckBox>(id)->isChecked());
    }
    for (auto [id, text] :
         std::initializer_list<std::pair<const char*, const char*>>{{"1002", "ショートカット作成"},
                                                                    {"1003", "ショートカット削除"},
                                                                    {"1000", "ログファイルを開く"},
                                                                    {"1001", "ログファイルを削除"},
                                                                    {"1", "OK"},
                                                                    {"2", "キャンセル"}}) {
        EXPECT_EQ(f.Find<QPushButton>(id)->text(), QString::fromUtf8(text));
        EXPECT_EQ(f.Find<QPushButton>(id)->accessibleName(), QString::fromUtf8(text));
    }
    QSlider* slider = f.dialog.QualitySlider();
    EXPECT_EQ(slider->accessibleName(), QStringLiteral("JPEG保存画質"));
    EXPECT_EQ(slider->minimum(), 0);
    EXPECT_EQ(slider->maximum(), 100);
    EXPECT_EQ(slider->tickInterval(), 10);
    EXPECT_EQ(slider->tickPosition(), QSlider::TicksAbove);
    EXPECT_EQ(slider->value(), 80);
    std::vector<QString> texts;
    for (auto* label : f.dialog.findChildren<QLabel*>()) texts.push_back(label->text());
    for (auto* box : f.dialog.findChildren<QGroupBox*>()) texts.push_back(box->title());
    for (const char* text : {"秒後に起動する", "0%", "50%", "100%", "スタートアップ",
                             "ログファイル", "終了の設定", "JPEG保存画質"}) {
        EXPECT_NE(std::find(texts.begin(), texts.end(), QString::fromUtf8(text)), texts.end())
            << text;
    }

    // The spin stops at 180.
    f.Timer()->stepBy(500);
    EXPECT_EQ(f.Timer()->lineEdit()->text(), QStringLiteral("180"));
    f.Find<QCheckBox>("1024")->setChecked(true);
    f.Press("2");
    EXPECT_EQ(f.settings.Copy(), DiarySettings{[] {
                  DiarySettings s;
                  s.STARTUP_TIMER = 12;
                  return s;
              }()});

    f.dialog.show();
    EXPECT_FALSE(f.Find<QCheckBox>("1024")->isChecked());
    f.Timer()->stepBy(-2);
    f.Find<QCheckBox>("1054")->setChecked(true);
    f.Find<QCheckBox>("1024")->setChecked(true);
    f.Find<QCheckBox>("1025")->setChecked(true);
    // The edit is read-only; only a program could put text there.
    f.Timer()->lineEdit()->setText(QStringLiteral("abc"));
    f.Press("1");
    EXPECT_EQ(f.prompts.messages(), std::vector<std::string>{"Please enter an integer."});
    EXPECT_TRUE(f.dialog.isVisible());
    f.Timer()->lineEdit()->setText(QStringLiteral("181"));
    f.Press("1");
    EXPECT_EQ(f.prompts.messages().back(), "Please enter an integer between 0 and 180.");
    f.Timer()->lineEdit()->setText(QStringLiteral("10"));
    f.Press("1");
    EXPECT_FALSE(f.dialog.isVisible());
    const DiarySettings s = f.settings.Copy();
    EXPECT_EQ(s.STARTUP_TIMER, 10);
    EXPECT_TRUE(s.STARTUP_DIALOG);
    EXPECT_TRUE(s.LOGFILE);
    EXPECT_TRUE(s.CLOSECANCEL);
    EXPECT_EQ(s.JPEG_QUALITY, 80);
}

TEST(AppConfigDialog, QualityIsTakenOverWhenTheMouseLetsGoOfTheSliderEvenOnCancel) {
    AppFixture f;
    f.dialog.show();
    QSlider* slider = f.dialog.QualitySlider();
    slider->setFocus();
    // Keys move the slider without taking the value over.
    QTest::keyClick(slider, Qt::Key_Left);
    QTest::keyClick(slider, Qt::Key_Left);
    EXPECT_EQ(slider->value(), 78);
    EXPECT_EQ(f.settings.Copy().JPEG_QUALITY, 80);

    // Drag the handle to 30.
    QStyleOptionSlider opt = SliderOption(slider);
    const QRect handle =
        slider->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, slider);
    const QRect groove =
        slider->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, slider);
    const int span = groove.width() - handle.width();
    const QPoint target(
        groove.x() + handle.width() / 2 + QStyle::sliderPositionFromValue(0, 100, 30, span),
        handle.center().y());
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, handle.center());
    SendMove(slider, (handle.center() + target) / 2);
    SendMove(slider, target);
    EXPECT_EQ(slider->value(), 30);
    EXPECT_EQ(f.settings.Copy().JPEG_QUALITY, 80);  // not while the mouse holds it
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, target);
    EXPECT_EQ(f.settings.Copy().JPEG_QUALITY, 30);

    // Keys again, then Cancel: 30 stays, the keyed 29 is not taken.
    QTest::keyClick(slider, Qt::Key_Left);
    f.Press("2");
    EXPECT_EQ(f.settings.Copy().JPEG_QUALITY, 30);

    // Opened again at 30; a click beside the handle pages, and counts at release.
    f.dialog.show();
    EXPECT_EQ(slider->value(), 30);
    opt = SliderOption(slider);
    const QRect handle_now =
        slider->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, slider);
    const QPoint beside(groove.right() - 2, handle_now.center().y());
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, beside);
    EXPECT_GT(slider->value(), 30);
    EXPECT_EQ(f.settings.Copy().JPEG_QUALITY, slider->value());
    f.Press("1");
    EXPECT_EQ(f.settings.Copy().JPEG_QUALITY, slider->value());
}

TEST(AppConfigDialog, LogFileOpensAndDeletesWithTheDesignedMessages) {
    AppFixture f;
    f.dialog.show();
    f.Press("1000");
    EXPECT_EQ(f.prompts.messages(), std::vector<std::string>{"ログファイルが存在しません"});
    EXPECT_TRUE(f.opened.empty());
    f.Press("1001");
    EXPECT_EQ(f.prompts.messages().size(), 2u);
    EXPECT_EQ(f.prompts.messages().back(), "ログファイルが存在しません");
    EXPECT_TRUE(f.prompts.questions().empty());

    WriteFileBytes(f.LogPath(), "2024/01/05(金) 10:00:00 開始\r\n");
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
    // for root as well).
    fs::create_directories(f.LogPath() + "/kept");
    f.Press("1001");
    EXPECT_EQ(f.prompts.messages().back(), "Access to " + f.LogPath() + " was denied.");
    EXPECT_TRUE(f.dialog.isVisible());
}

TEST(AppConfigDialog, StartupShortcutCreatedTwiceDeletedAndMissing) {
    TempDir config;
    TempDir home;
    ScopedEnv xdg("XDG_CONFIG_HOME", config.path().string());
    ScopedEnv quillomat_home("QUILLOMAT_HOME", home.str());
    AppFixture f;
    const std::string entry = config.str() + "autostart/Quillomat.desktop";
    f.dialog.show();

    f.Press("1003");
    EXPECT_EQ(f.prompts.messages(), std::vector<std::string>{"ショートカットが存在しません"});
    EXPECT_TRUE(f.prompts.questions().empty());

    f.Press("1002");
    ASSERT_TRUE(fs::exists(entry));
    const std::string first = ReadFileBytes(entry);
    EXPECT_NE(first.find("\nExec=env QUILLOMAT_HOME=" + home.str() +
                         " \"/opt/My Apps/quillomat\" startup\n"),
              std::string::npos)
        << first;
    // The second run replaces it without a word about the existing one.
    WriteFileBytes(entry, "stale");
    f.Press("1002");
    EXPECT_EQ(ReadFileBytes(entry), first);
    const std::vector<std::string> create(2, kCreateShortcutQuestion);
    EXPECT_EQ(f.prompts.questions(), create);
    EXPECT_EQ(f.prompts.messages().size(), 1u);

    f.prompts.on_question = [] { return false; };
    f.Press("1003");
    EXPECT_TRUE(fs::exists(entry));
    f.prompts.on_question = [] { return true; };
    f.Press("1003");
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_EQ(f.prompts.questions().back(),
              "スタートアップフォルダのQuillomatのショートカットを削除します");
    EXPECT_EQ(f.prompts.messages().size(), 1u);

    // Cancelled creation writes nothing.
    f.prompts.on_question = [] { return false; };
    f.Press("1002");
    EXPECT_FALSE(fs::exists(entry));
}

TEST(AppConfigDialog, StartupShortcutThatCannotBeWrittenIsReported) {
    TempDir config;
    WriteFileBytes(config.path() / "autostart", "a file where the folder belongs");
    ScopedEnv xdg("XDG_CONFIG_HOME", config.path().string());
    AppFixture f;
    f.dialog.show();
    f.Press("1002");
    const std::string entry = config.str() + "autostart/Quillomat.desktop";
    EXPECT_EQ(f.prompts.messages(), std::vector<std::string>{FileErrorMessage(entry, ENOTDIR)});
    EXPECT_EQ(f.prompts.questions(), std::vector<std::string>{kCreateShortcutQuestion});

    // Without any autostart folder nothing is asked or said.
    AppFixture none;
    none.startup_folder = [] { return std::string(); };
    CAppConfigDlg dialog(AppConfigServices{none.settings,
                                           none.prompts,
                                           [&] { return none.app_dir.str(); },
                                           {},
                                           none.startup_folder,
                                           {}});
    dialog.CreateStartupShortcut();
    dialog.DeleteStartupShortcut();
    EXPECT_TRUE(none.prompts.questions().empty());
    EXPECT_TRUE(none.prompts.messages().empty());
}

}  // namespace

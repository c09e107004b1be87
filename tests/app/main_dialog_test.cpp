#include "app/main_dialog.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <filesystem>
#include <thread>

#include "app/about_dialog.h"
#include "app/home_page.h"
#include "app/resources/app_resources.h"
#include "capture/capture_fakes.h"
#include "capture/ui/preview_view.h"
#include "controls/image_button.h"
#include "diary/ui/diary_setup_dialog.h"
#include "log/diary_notice.h"
#include "platform/cp932.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kRetryPrompt =
    "DirectShowの初期化に失敗しました。\nアプリケーションを終了しますか";

// Saves "chosen.jpg" in the home folder and remembers what it was offered.
class RecordingSnapshotView final : public SnapshotView {
public:
    std::string ChooseSnapshotPath(const std::string& bitmap_path,
                                   const std::string& stem) override {
        bitmap_existed = fs::exists(bitmap_path);
        stems.push_back(stem);
        return save_to;
    }
    std::string save_to;
    std::vector<std::string> stems;
    bool bitmap_existed = false;
};

class TestPrompts final : public Prompts {
public:
    void ShowMessage(const std::string& text) override {
        messages_.push_back(text);
        if (on_message) on_message();
    }
    bool AskYesNo(const std::string& text) override {
        questions_.push_back(text);
        return on_question ? on_question() : false;
    }
    std::vector<std::string> messages() const { return messages_; }
    std::vector<std::string> questions() const { return questions_; }
    std::function<bool()> on_question;
    std::function<void()> on_message;

private:
    std::vector<std::string> messages_, questions_;
};

bool SameIcon(const QIcon& a, const QIcon& b) {
    return a.pixmap(32, 32).toImage() == b.pixmap(32, 32).toImage();
}

template <class Pred>
bool WaitUntil(Pred pred) {
    for (int i = 0; i < 1000 && !pred(); ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pred();
}

class MainDialogTest : public ::testing::Test {
protected:
    MainDialogTest() : devices_("Cam") { ::setenv("QUILLOMAT_HOME", home_.str().c_str(), 1); }
    ~MainDialogTest() override {
        dialog_.reset();
        ::unsetenv("QUILLOMAT_HOME");
    }

    void WriteSetup(const std::string& lines) {
        WriteFileBytes(home_.path() / "setup.ini", Utf8ToCp932(lines));
    }
    void WriteDevice(const std::string& name) {
        WriteFileBytes(home_.path() / "device.ini", Utf8ToCp932("[DEVICE]\r\nSELECT=" + name +
                                                                "\r\nWIDTH=320\r\nHEIGHT=240\r\n"));
    }
    std::string Ini(const char* file) {
        const fs::path path = home_.path() / file;
        return fs::exists(path) ? Cp932ToUtf8(ReadFileBytes(path)) : std::string();
    }

    CMainDialog& Make() {
        MainDialogSeams seams{clock_};
        seams.prompts = &prompts_;
        seams.chooser = &chooser_;
        seams.dialogs = &dialogs_;
        seams.snapshot_view = &snapshot_view_;
        seams.run_dialog = [this](QDialog& dialog) {
            run_dialogs_.push_back(dialog.windowTitle());
            ready_during_dialog_.push_back(GraphReady());
            main_visible_during_dialog_ = dialog_->isVisible();
            tray_menu_during_dialog_ = dialog_->PrepareTrayMenu();
            return dialog_result_;
        };
        seams.open_url = [this](const QUrl& url) { opened_.push_back(url); };
        seams.tray_available = [this] { return tray_available_; };
        seams.on_closed = [this] { ++closed_calls_; };
        seams.app_directory = [this] { return home_.str(); };
        seams.system_devices = false;
        seams.delays = delays_;
        dialog_ = std::make_unique<CMainDialog>(seams);
        return *dialog_;
    }
    CMainDialog& Start() {
        CMainDialog& dialog = Make();
        EXPECT_TRUE(dialog.Initialise());
        dialog.show();
        QCoreApplication::processEvents();
        return dialog;
    }
    QString Title() {
        QCoreApplication::processEvents();
        return dialog_->windowTitle();
    }
    bool GraphReady() { return dialog_->Engine().Graph().ready.load(); }
    // A menu entry's command is posted; it runs once the event loop turns.
    void Choose(QAction* entry) {
        entry->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    }

    TempDir home_;
    ScopedTestDevices devices_;
    ScaledClock clock_{10};
    TestPrompts prompts_;
    ScriptedChooser chooser_;
    ScriptedDialogs dialogs_;
    RecordingSnapshotView snapshot_view_;
    std::vector<QString> run_dialogs_;
    std::vector<bool> ready_during_dialog_;
    int dialog_result_ = QDialog::Accepted;
    std::vector<QUrl> opened_;
    bool main_visible_during_dialog_ = true;
    QMenu* tray_menu_during_dialog_ = nullptr;
    bool tray_available_ = true;
    int closed_calls_ = 0;
    DiaryEngineDelays delays_;
    std::unique_ptr<CMainDialog> dialog_;
};

TEST_F(MainDialogTest, FirstRunWithOneDeviceAsksOnlyForTheFormatThenShowsTheWindow) {
    dialogs_.choose = DeviceFormat{640, 480, 666666};
    CMainDialog& dialog = Make();
    ASSERT_TRUE(dialog.Initialise());
    EXPECT_TRUE(chooser_.calls.empty());
    EXPECT_EQ(dialogs_.format_dialogs, 1);
    // The capture settings dialog on the released graph, then the
    // application settings beside the running diary.
    EXPECT_EQ(run_dialogs_, (std::vector<QString>{QStringLiteral("キャプチャ設定"),
                                                  QStringLiteral("アプリケーション設定")}));
    EXPECT_EQ(ready_during_dialog_, (std::vector<bool>{false, true}));
    EXPECT_EQ(dialog.DiarySetup().DeviceInfo().WIDTH, 640);
    EXPECT_TRUE(prompts_.messages().empty());
    EXPECT_TRUE(prompts_.questions().empty());
    EXPECT_TRUE(GraphReady());
    EXPECT_EQ(Title(), QStringLiteral("Quillomat - Cam (640x480)"));
    const std::string device = Ini("device.ini");
    EXPECT_NE(device.find("SELECT=Cam"), std::string::npos) << device;
    EXPECT_NE(device.find("WIDTH=640"), std::string::npos) << device;

    ASSERT_NE(dialog.TrayIcon(), nullptr);
    EXPECT_EQ(dialog.TrayIcon()->toolTip(), QStringLiteral("Quillomat"));
    EXPECT_TRUE(dialog.TrayIcon()->isVisible());
    const QStringList lines = dialog.LogBox()->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(" - Quillomatを開始しました。")))
        << lines[0].toStdString();

    // The buttons: icons instead of text, tooltips that are their names.
    using B = CMainDialog::MainButton;
    const std::vector<std::tuple<B, const char*, const char*, const char*>> buttons = {
        {B::kSnapshot, "snapshot_hover", "snapshot", "スナップショット"},
        {B::kDeviceChange, "device_change_hover", "device_change", "入力機器変更"},
        {B::kDeviceSettings, "device_settings_hover", "device_settings", "入力設定"},
        {B::kDeviceProperties, "device_properties_hover", "device_properties", "入力プロパティ"},
        {B::kCaptureSettings, "capture_settings_hover", "capture_settings", "キャプチャ設定"},
        {B::kOnAir, "on_air", "on_air", "ON/OFF切替"}};
    for (const auto& [id, hover, normal, tip] : buttons) {
        SCOPED_TRACE(tip);
        CImageButton* button = dialog.Button(id);
        ASSERT_NE(button, nullptr);
        EXPECT_TRUE(button->text().isEmpty());
        EXPECT_EQ(button->toolTip(), QString::fromUtf8(tip));
        EXPECT_EQ(button->accessibleName(), QString::fromUtf8(tip));
        EXPECT_TRUE(SameIcon(button->HoverIcon(), ButtonIcon(QString::fromLatin1(hover))));
        EXPECT_TRUE(SameIcon(button->NormalIcon(), ButtonIcon(QString::fromLatin1(normal))));
    }
    EXPECT_EQ(dialog.Preview()->size(), QSize(320, 240));
}

TEST_F(MainDialogTest, FirstRunWithTwoDevicesAsksForTheDeviceFirst) {
    devices_.Set("Cam,Pro");
    chooser_.answers = {{true, 1}};
    dialogs_.choose = DeviceFormat{320, 240, 333333};
    CMainDialog& dialog = Make();
    ASSERT_TRUE(dialog.Initialise());
    ASSERT_EQ(chooser_.calls.size(), 1u);
    EXPECT_EQ(chooser_.calls[0].names, (std::vector<std::string>{"Cam", "Pro"}));
    EXPECT_EQ(dialogs_.format_dialogs, 1);
    EXPECT_EQ(Title(), QStringLiteral("Quillomat - Pro (320x240)"));
    EXPECT_NE(Ini("device.ini").find("SELECT=Pro"), std::string::npos);
}

TEST_F(MainDialogTest, LaterStartKeepsTheStoredDeviceOrTakesTheFirstSilently) {
    devices_.Set("Cam,Pro");
    WriteDevice("Pro");
    Start();
    EXPECT_TRUE(chooser_.calls.empty());
    EXPECT_EQ(dialogs_.format_dialogs, 0);
    EXPECT_EQ(Title(), QStringLiteral("Quillomat - Pro (320x240)"));
    dialog_.reset();

    WriteDevice("Gone");
    Start();
    EXPECT_TRUE(chooser_.calls.empty());
    EXPECT_EQ(Title(), QStringLiteral("Quillomat - Cam (320x240)"));
}

// Without a camera the prompt comes once: No leaves the window open without
// a picture, its menus usable, while the engine looks for a camera, which is
// taken when it comes; Yes closes. A command's failed build asks the same way.
TEST_F(MainDialogTest, FailedBuildAsksOnceNoWaitsForACameraYesClosesTheWindow) {
    devices_.Set("");
    WriteDevice("Cam");
    delays_ = DiaryEngineDelays{}.DividedBy(100);
    CMainDialog& dialog = Make();
    ASSERT_TRUE(dialog.Initialise());
    EXPECT_EQ(prompts_.questions(), (std::vector<std::string>{kRetryPrompt}));
    EXPECT_EQ(prompts_.messages(),
              (std::vector<std::string>{"映像入力デバイスが見つかりませんでした"}));
    EXPECT_FALSE(dialog.Closed());
    EXPECT_FALSE(GraphReady());
    EXPECT_TRUE(dialog.Engine().WaitingForCamera());
    EXPECT_TRUE(
        dialog.LogBox()->toPlainText().contains(QStringLiteral("Quillomatを開始しました。")));
    dialog.show();

    // The device menu answers meanwhile; its failed build asks once too.
    dialog.OnDeviceChange();
    EXPECT_EQ(prompts_.questions().size(), 2u);
    EXPECT_FALSE(dialog.Closed());
    devices_.Set("Cam");
    ASSERT_TRUE(WaitUntil([&] { return GraphReady(); }));
    EXPECT_FALSE(dialog.Engine().WaitingForCamera());
    EXPECT_EQ(Title(), QStringLiteral("Quillomat - Cam (320x240)"));
    EXPECT_EQ(prompts_.questions().size(), 2u);
    EXPECT_EQ(prompts_.messages().size(), 2u);

    // Yes closes the window.
    dialog_.reset();
    devices_.Set("");
    prompts_.on_question = [] { return true; };
    int closed_before = closed_calls_;
    EXPECT_FALSE(Make().Initialise());
    EXPECT_TRUE(dialog_->Closed());
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(closed_calls_, closed_before + 1);
    EXPECT_FALSE(dialog_->TrayIcon()->isVisible());

    // Also after a command's build.
    devices_.Set("Cam");
    dialog_.reset();
    Start();
    devices_.Set("");
    closed_before = closed_calls_;
    dialog_->OnDeviceChange();
    EXPECT_TRUE(dialog_->Closed());
    EXPECT_EQ(closed_calls_, closed_before + 1);
}

// The window's start is the headless one: what a killed write left is
// removed, and settings that store nothing say so in the log box.
TEST_F(MainDialogTest, StartRemovesLeftoverTemporaryFilesAndSaysWhenNothingWillBeStored) {
    WriteDevice("Cam");
    const fs::path diary = home_.path() / "diary";
    fs::create_directories(diary / "20240315");
    WriteSetup("[DIARY]\r\nONAIR=off\r\nSAVE_DIRECTORY=" + diary.string() + "\r\n");
    for (const char* name : {"20240315/20240315093005.jpg.tmp", "20240315/preview.html.tmp",
                             "preview.html.tmp", "20240315/notes.tmp"}) {
        WriteFileBytes(diary / name, "cut off");
    }
    CMainDialog& dialog = Start();
    EXPECT_FALSE(fs::exists(diary / "20240315/20240315093005.jpg.tmp"));
    EXPECT_FALSE(fs::exists(diary / "20240315/preview.html.tmp"));
    EXPECT_FALSE(fs::exists(diary / "preview.html.tmp"));
    EXPECT_TRUE(fs::exists(diary / "20240315/notes.tmp"));
    const QStringList lines = dialog.LogBox()->toPlainText().split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("no picture will be stored: ONAIR is off")))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("Quillomatを開始しました。")));
    EXPECT_TRUE(GraphReady());
}

TEST_F(MainDialogTest, MenuBarAndTrayMenuHaveEveryEntryInOrder) {
    CMainDialog& dialog = Start();
    QStringList bar;
    for (QAction* popup : dialog.MenuBar()->actions()) {
        QStringList entries;
        for (QAction* entry : popup->menu()->actions()) {
            entries << (entry->isSeparator()
                            ? QStringLiteral("-")
                            : QStringLiteral("%1 %2").arg(entry->objectName(), entry->text()));
        }
        bar << popup->text() + ": " + entries.join(QStringLiteral(", "));
    }
    EXPECT_EQ(bar.join('\n').toStdString(),
              "ファイル(&F): snapshot スナップショット(&P), -, exit 終了(&X)\n"
              "各種設定(&S): app_settings アプリケーション設定(&S), capture_settings "
              "キャプチャ設定(&M), html_settings HTML出力設定(&H), time_text_settings "
              "日時表示設定(&T), extra_settings 拡張設定(&E)\n"
              "入力機器(&D): device_change 変更(&C), device_settings 設定(&S), "
              "device_properties プロパティ(&P)\n"
              "ヘルプ(&H): home_page ホームページ(&H), -, about バージョン情報(&A)");

    auto tray_entries = [&] {
        QMenu* menu = dialog.PrepareTrayMenu();
        QStringList entries;
        if (menu == nullptr) return entries;
        for (QAction* entry : menu->actions()) {
            entries << (entry->isSeparator() ? QStringLiteral("-") : entry->text());
        }
        return entries;
    };
    EXPECT_EQ(tray_entries().join(',').toStdString(),
              "非表示(&S),-,スナップショット(&P),-,終了(&X)");
    dialog.OnShowHide();
    EXPECT_TRUE(dialog.isMinimized());
    EXPECT_EQ(tray_entries().join(',').toStdString(), "表示(&S),-,スナップショット(&P),-,終了(&X)");
    // No menu while a modal dialog of the window is open.
    dialog.OnShowHide();
    dialog.OnAbout();
    EXPECT_EQ(tray_menu_during_dialog_, nullptr);
    EXPECT_NE(dialog.PrepareTrayMenu(), nullptr);
}

TEST_F(MainDialogTest, DeviceCommandsRebuildAndSave) {
    devices_.Set("Cam,Pro:controls");
    WriteDevice("Cam");
    CMainDialog& dialog = Start();

    // Change: the choice even though the stored device is there.
    chooser_.answers = {{true, 1}};
    dialog.Button(CMainDialog::MainButton::kDeviceChange)->click();
    ASSERT_EQ(chooser_.calls.size(), 1u);
    EXPECT_EQ(Title(), QStringLiteral("Quillomat - Pro (320x240)"));
    EXPECT_NE(Ini("device.ini").find("SELECT=Pro"), std::string::npos);
    chooser_.answers = {{true, 0}};
    Choose(dialog.Actions().device_change);
    EXPECT_EQ(chooser_.calls.size(), 2u);
    EXPECT_NE(Ini("device.ini").find("SELECT=Cam"), std::string::npos);
    chooser_.answers = {{true, 1}};
    dialog.Button(CMainDialog::MainButton::kDeviceChange)->click();

    // Settings: the stored device is kept (no choice) and its format asked.
    // The button, then the menu entry.
    for (int id : {0, 1}) {
        const std::size_t choices = chooser_.calls.size();
        dialogs_.choose = DeviceFormat{640, 480, 333333};
        const int formats = dialogs_.format_dialogs;
        if (id == 0) {
            dialog.Button(CMainDialog::MainButton::kDeviceSettings)->click();
        } else {
            Choose(dialog.Actions().device_settings);
        }
        EXPECT_EQ(dialogs_.format_dialogs, formats + 1) << id;
        EXPECT_EQ(chooser_.calls.size(), choices) << id;
        EXPECT_NE(Ini("device.ini").find("WIDTH=640"), std::string::npos) << id;
        EXPECT_TRUE(GraphReady()) << id;
        fs::remove(home_.path() / "device.ini");
    }
    EXPECT_EQ(Title(), QStringLiteral("Quillomat - Pro (640x480)"));

    // Properties: the device's controls, then a save; the graph stays.
    for (int id : {0, 1}) {
        const int controls = dialogs_.controls_dialogs;
        if (id == 0) {
            dialog.Button(CMainDialog::MainButton::kDeviceProperties)->click();
        } else {
            Choose(dialog.Actions().device_properties);
        }
        EXPECT_EQ(dialogs_.controls_dialogs, controls + 1) << id;
        EXPECT_TRUE(fs::exists(home_.path() / "device.ini")) << id;
        fs::remove(home_.path() / "device.ini");
    }
    EXPECT_TRUE(prompts_.questions().empty());
}

// Button and menu entry: the dialog on the released graph, the pages changed
// flag only on OK, then the rebuild and the save.
TEST_F(MainDialogTest, CaptureSettingsRunOnTheReleasedGraphThenRebuildAndSave) {
    WriteDevice("Cam");
    CMainDialog& dialog = Start();
    // Nothing is stored (no save folder), so no store takes the flag back.
    struct Case {
        bool button;
        int result;
    };
    for (const Case& c : {Case{true, QDialog::Rejected}, Case{false, QDialog::Rejected},
                          Case{false, QDialog::Accepted}}) {
        SCOPED_TRACE(c.button ? "button" : "menu");
        fs::remove(home_.path() / "device.ini");
        ready_during_dialog_.clear();
        dialog_result_ = c.result;
        if (c.button) {
            dialog.Button(CMainDialog::MainButton::kCaptureSettings)->click();
        } else {
            Choose(dialog.Actions().capture_settings);
        }
        EXPECT_EQ(run_dialogs_.back(), QStringLiteral("キャプチャ設定"));
        EXPECT_EQ(ready_during_dialog_, std::vector<bool>{false});
        EXPECT_EQ(dialog.Engine().Store().PagesChanged(), c.result == QDialog::Accepted);
        EXPECT_TRUE(GraphReady());
        EXPECT_TRUE(fs::exists(home_.path() / "device.ini"));
    }
    EXPECT_EQ(dialog.DiarySetup().DeviceInfo().SELECT, "Cam");
    EXPECT_TRUE(prompts_.messages().empty());
    EXPECT_TRUE(prompts_.questions().empty());
}

// The web page settings run on the released graph and are rebuilt after, but
// not saved; the application and time text settings run beside the running
// diary.
TEST_F(MainDialogTest, WebPageApplicationAndTimeTextSettingsRunAsDesigned) {
    WriteDevice("Cam");
    CMainDialog& dialog = Start();
    struct Case {
        QAction* action;
        int result;
        const char* title;
        bool on_released_graph;
    };
    const MainDialogActions& a = dialog.Actions();
    for (const Case& c : {Case{a.html_settings, QDialog::Rejected, "HTML設定", true},
                          Case{a.app_settings, QDialog::Accepted, "アプリケーション設定", false},
                          Case{a.time_text_settings, QDialog::Accepted, "日時表示設定", false},
                          Case{a.html_settings, QDialog::Accepted, "HTML設定", true}}) {
        SCOPED_TRACE(c.title);
        fs::remove(home_.path() / "device.ini");
        ready_during_dialog_.clear();
        dialog_result_ = c.result;
        Choose(c.action);
        EXPECT_EQ(run_dialogs_.back(), QString::fromUtf8(c.title));
        EXPECT_EQ(ready_during_dialog_, std::vector<bool>{!c.on_released_graph});
        EXPECT_EQ(dialog.Engine().Store().PagesChanged(),
                  c.action == a.html_settings && c.result == QDialog::Accepted);
        EXPECT_TRUE(GraphReady());
        EXPECT_FALSE(fs::exists(home_.path() / "device.ini"));
    }
    // The extra settings run beside the diary as well; their OK saves.
    ready_during_dialog_.clear();
    dialog.OnExtraSettings();
    EXPECT_EQ(run_dialogs_.back(), QStringLiteral("拡張設定"));
    EXPECT_EQ(ready_during_dialog_, std::vector<bool>{true});
    EXPECT_TRUE(fs::exists(home_.path() / "device.ini"));
    EXPECT_TRUE(prompts_.messages().empty());
    EXPECT_TRUE(prompts_.questions().empty());
}

TEST_F(MainDialogTest, SnapshotHomePageAboutAndExitCommands) {
    WriteSetup("[TIMETEXT]\r\nSHOW_TEXT=off\r\n");
    WriteDevice("Cam");
    CMainDialog& dialog = Start();

    snapshot_view_.save_to = (home_.path() / "chosen.jpg").string();
    dialog.Button(CMainDialog::MainButton::kSnapshot)->click();
    ASSERT_EQ(snapshot_view_.stems.size(), 1u);
    EXPECT_TRUE(snapshot_view_.bitmap_existed);
    EXPECT_EQ(snapshot_view_.stems[0].size(), 14u);
    EXPECT_TRUE(fs::exists(snapshot_view_.save_to));
    EXPECT_EQ(ReadFileBytes(snapshot_view_.save_to).substr(0, 2), "\xFF\xD8");
    EXPECT_FALSE(fs::exists(home_.path() / "snap.tmp"));
    snapshot_view_.save_to.clear();
    Choose(dialog.Actions().snapshot);
    ASSERT_EQ(snapshot_view_.stems.size(), 2u);
    EXPECT_FALSE(fs::exists(home_.path() / (snapshot_view_.stems[1] + ".jpg")));
    QMenu* tray_menu = dialog.PrepareTrayMenu();
    ASSERT_NE(tray_menu, nullptr);
    Choose(tray_menu->actions().at(2));  // the tray menu's snapshot entry
    EXPECT_EQ(snapshot_view_.stems.size(), 3u);

    Choose(dialog.Actions().home_page);
    EXPECT_EQ(opened_, (std::vector<QUrl>{HomePageUrl()}));

    // The entry answers before the command's modal dialog runs.
    dialog.Actions().about->trigger();
    EXPECT_TRUE(run_dialogs_.empty());
    EXPECT_TRUE(dialog.isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    EXPECT_EQ(run_dialogs_, (std::vector<QString>{QStringLiteral("Quillomat - バージョン情報")}));
    EXPECT_FALSE(main_visible_during_dialog_);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(closed_calls_, 0);

    // "終了(&X)": settings saved, graph released, tray icon removed.
    fs::remove(home_.path() / "device.ini");
    Choose(dialog.Actions().exit);
    EXPECT_TRUE(dialog.Closed());
    EXPECT_EQ(closed_calls_, 1);
    EXPECT_FALSE(GraphReady());
    EXPECT_FALSE(dialog.TrayIcon()->isVisible());
    EXPECT_TRUE(fs::exists(home_.path() / "device.ini"));
    dialog.OnExit();
    EXPECT_EQ(closed_calls_, 1);
}

TEST_F(MainDialogTest, EnterAndEscapeNeverCloseTheWindow) {
    WriteDevice("Cam");
    CMainDialog& dialog = Start();
    dialog.activateWindow();
    for (QWidget* target :
         {static_cast<QWidget*>(&dialog),
          static_cast<QWidget*>(dialog.Button(CMainDialog::MainButton::kCaptureSettings)),
          static_cast<QWidget*>(dialog.LogBox())}) {
        target->setFocus();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(target, key);
        }
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.Closed());
    // Not even the focused button takes Enter.
    EXPECT_TRUE(prompts_.messages().empty());
    EXPECT_EQ(dialog.result(), 0);
}

TEST_F(MainDialogTest, OnOffSwitchesTheIconAndSavesAtOnce) {
    WriteDevice("Cam");
    CMainDialog& dialog = Start();
    CImageButton* button = dialog.Button(CMainDialog::MainButton::kOnAir);
    dialog.Button(CMainDialog::MainButton::kOnAir)->click();
    EXPECT_NE(Ini("setup.ini").find("ONAIR=off"), std::string::npos);
    EXPECT_FALSE(dialog.Engine().Settings().OnAir());
    EXPECT_TRUE(SameIcon(button->NormalIcon(), ButtonIcon(QStringLiteral("off_air"))));
    EXPECT_TRUE(SameIcon(button->HoverIcon(), ButtonIcon(QStringLiteral("off_air"))));
    button->click();
    EXPECT_NE(Ini("setup.ini").find("ONAIR=on"), std::string::npos);
    EXPECT_TRUE(SameIcon(button->NormalIcon(), ButtonIcon(QStringLiteral("on_air"))));
    dialog_.reset();

    // A later start shows the stored state.
    WriteSetup("[DIARY]\r\nONAIR=off\r\n");
    Start();
    EXPECT_TRUE(SameIcon(dialog_->Button(CMainDialog::MainButton::kOnAir)->NormalIcon(),
                         ButtonIcon(QStringLiteral("off_air"))));
}

TEST_F(MainDialogTest, MinimiseGoesToTheTrayAndStopsTheGraphRestoreRunsIt) {
    WriteDevice("Cam");
    CMainDialog& dialog = Start();
    CaptureGraph& graph = dialog.Engine().Capture();
    ASSERT_TRUE(WaitUntil([&] { return dialog.Preview()->FramesShown() > 0; }));
    EXPECT_TRUE(dialog.Preview()->Pulling());

    dialog.setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(dialog.Engine().Graph().minimised.load());
    EXPECT_FALSE(graph.IsRunning(nullptr));
    EXPECT_FALSE(dialog.Preview()->Pulling());

    // A left click on the tray icon restores.
    dialog.OnTrayClicked();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.isMinimized());
    EXPECT_FALSE(dialog.Engine().Graph().minimised.load());
    EXPECT_TRUE(graph.IsRunning(nullptr));
    EXPECT_TRUE(dialog.Preview()->Pulling());
    // And again minimises.
    dialog.OnTrayClicked();
    EXPECT_FALSE(dialog.isVisible());
    dialog.OnShowHide();
    EXPECT_TRUE(dialog.isVisible());
    // A window manager that maps the restored window iconic (its map raced
    // the restore) is asked again: the window stays out of the tray.
    dialog.setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.isMinimized());
    // Once painted, on screen, a minimise is the user's and goes to the tray.
    QCoreApplication::processEvents();
    dialog.setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(dialog.isVisible());
    dialog.OnShowHide();
    QCoreApplication::processEvents();

    // Without a tray the window stays on the task bar, minimised.
    tray_available_ = false;
    dialog.setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.isMinimized());
    EXPECT_FALSE(graph.IsRunning(nullptr));
    EXPECT_FALSE(dialog.Preview()->Pulling());
    dialog.setWindowState(Qt::WindowNoState);
    EXPECT_TRUE(graph.IsRunning(nullptr));
}

TEST_F(MainDialogTest, CloseBoxGoesToTheTrayWithCloseCancelWhileExitStillEnds) {
    WriteSetup("[APPLICATION]\r\nCLOSECANCEL=on\r\n");
    WriteDevice("Cam");
    CMainDialog& dialog = Start();
    EXPECT_FALSE(dialog.close());
    EXPECT_TRUE(dialog.isMinimized());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(dialog.Closed());
    dialog.OnExit();
    EXPECT_TRUE(dialog.Closed());
    EXPECT_EQ(closed_calls_, 1);
    dialog_.reset();

    WriteSetup("[APPLICATION]\r\nCLOSECANCEL=off\r\n");
    Start();
    dialog_->close();
    EXPECT_TRUE(dialog_->Closed());
    EXPECT_EQ(closed_calls_, 2);
}

TEST_F(MainDialogTest, LogBoxKeeps999CompleteLinesWhenLogTxtCannotBeWritten) {
    WriteSetup("[APPLICATION]\r\nLOGFILE=on\r\n");
    WriteDevice("Cam");
    // A folder where the file belongs: every append fails.
    fs::create_directory(home_.path() / "log.txt");
    CMainDialog& dialog = Start();
    for (int i = 0; i < 1200; ++i) dialog.Engine().Log().AddLogLine("event " + std::to_string(i));
    // A notice from another thread arrives queued.
    std::thread([&] { dialog.Engine().Notices().Post(kNoticeMotionDetected); }).join();
    QCoreApplication::processEvents();

    const QStringList lines = dialog.LogBox()->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 1000);
    EXPECT_TRUE(lines.back().isEmpty());
    const QRegularExpression stamped(QStringLiteral("^\\d+/\\d+ \\d\\d:\\d\\d:\\d\\d - "));
    for (int i = 0; i < 999; ++i) {
        const bool error_line = lines[i] == QStringLiteral("ERROR : ログファイルエラー");
        EXPECT_TRUE(error_line || stamped.match(lines[i]).hasMatch()) << lines[i].toStdString();
        // Each event's line is followed by its error line.
        if (!error_line && i + 1 < 999) {
            EXPECT_EQ(lines[i + 1].at(0), QChar('E'));
        }
    }
    EXPECT_TRUE(lines[997].endsWith(QStringLiteral(" - 動作を検知しました")));
    EXPECT_EQ(lines[998], QStringLiteral("ERROR : ログファイルエラー"));
    QScrollBar* bar = dialog.LogBox()->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_GT(bar->maximum(), 0);
}

TEST_F(MainDialogTest, StopSignalFromAnotherThreadClosesInTheDesignedOrder) {
    WriteDevice("Cam");
    CMainDialog& dialog = Start();
    dialog.Engine().Settings().Update([](DiarySettings& s) { s.ONAIR = false; });
    std::thread([&] { dialog.RequestShutdown(); }).join();
    ASSERT_TRUE(WaitUntil([&] { return dialog.Closed(); }));
    EXPECT_EQ(closed_calls_, 1);
    EXPECT_FALSE(GraphReady());
    EXPECT_FALSE(dialog.TrayIcon()->isVisible());
    EXPECT_NE(Ini("setup.ini").find("ONAIR=off"), std::string::npos);
}

}  // namespace

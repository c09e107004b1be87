#include "diary/ui/diary_setup_dialog.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <sstream>

#include "capture/capture_fakes.h"
#include "capture/device_names.h"
#include "capture/ui/preview_view.h"
#include "controls/push_graph.h"
#include "controls/spin_edit.h"
#include "settings/shared_settings.h"
#include "support/temp_dir.h"

namespace {

constexpr int kPatienceMs = 60000;  // a ceiling for a starved idle thread, not a target

struct DialogFixture {
    explicit DialogFixture(const char* devices = "Cam,Still:still,Old:stop=15")
        : test_devices(devices),
          dialog(DiarySetupServices{settings, prompts, clock, false,
                                    [this](QWidget*) { return chosen_folder; }}) {}

    SpinEdit* Spin(const char* id) { return dialog.findChild<SpinEdit*>(QString::fromUtf8(id)); }
    void Type(const char* id, const char* text) {
        Spin(id)->lineEdit()->setText(QString::fromUtf8(text));
    }
    QPushButton* Button(const char* id) {
        return dialog.findChild<QPushButton*>(QString::fromUtf8(id));
    }
    void Open(const std::string& device) {
        dialog.SetDeviceInfo(device, 320, 240, 333333);
        dialog.show();
    }
    std::vector<std::int32_t> Scores() const { return dialog.MotionGraph()->Model().Values(0); }

    ScopedTestDevices test_devices;
    SharedSettings settings;
    RecordingPrompts prompts;
    ScaledClock clock{10};
    std::optional<std::string> chosen_folder;
    CDiarySetupDialog dialog;
};

TEST(DiarySetupDialog, ShowsEveryControlWithItsLabelAndRange) {
    DialogFixture f;
    f.settings.Update([](DiarySettings& s) { s.MOTION_DETECT_LEVEL = 0; });
    f.Open("");
    EXPECT_EQ(f.dialog.windowTitle(), QStringLiteral("キャプチャ設定"));
    struct Spin {
        const char* id;
        const char* name;
        int min, max;
    };
    for (const Spin& s :
         {Spin{"1039", "時間", 0, 1024}, Spin{"1041", "分", 0, 59}, Spin{"1043", "秒間隔", 0, 59},
          Spin{"1048", "レベル", 1, 99}, Spin{"1073", "検査間隔", 20, 30000},
          Spin{"1010", "画像保存最短間隔", 1, 30000}}) {
        SpinEdit* spin = f.Spin(s.id);
        ASSERT_NE(spin, nullptr) << s.id;
        EXPECT_EQ(spin->accessibleName(), QString::fromUtf8(s.name)) << s.id;
        EXPECT_EQ(spin->Minimum(), s.min) << s.id;
        EXPECT_EQ(spin->Maximum(), s.max) << s.id;
    }
    // The level spin stops at 1, but the field shows the variable's 0.
    EXPECT_EQ(f.Spin("1048")->lineEdit()->text(), QStringLiteral("0"));
    f.Spin("1048")->stepBy(1);
    EXPECT_EQ(f.Spin("1048")->lineEdit()->text(), QStringLiteral("2"));
    f.Type("1041", "58");
    f.Spin("1041")->stepBy(5);
    EXPECT_EQ(f.Spin("1041")->lineEdit()->text(), QStringLiteral("59"));

    std::vector<QString> texts;
    for (auto* label : f.dialog.findChildren<QLabel*>()) texts.push_back(label->text());
    for (const char* text : {"時間", "分", "秒間隔", "レベル", "検査間隔", "ms", "画像保存最短間隔",
                             "sec", "動作変化量グラフ"}) {
        EXPECT_NE(std::find(texts.begin(), texts.end(), QString::fromUtf8(text)), texts.end())
            << text;
    }
    EXPECT_EQ(f.Button("1000")->text(), QStringLiteral("参照"));
    EXPECT_EQ(f.Button("4")->text(), QStringLiteral("適用"));
    EXPECT_EQ(f.Button("2")->text(), QStringLiteral("キャンセル"));
    EXPECT_EQ(f.dialog.findChild<QCheckBox*>(QStringLiteral("1059"))->accessibleName(),
              QStringLiteral("動作検知保存を使用する"));
    EXPECT_EQ(f.dialog.findChild<QLineEdit*>(QStringLiteral("1003"))->accessibleName(),
              QStringLiteral("画像保存先ディレクトリ"));
    EXPECT_EQ(f.dialog.MotionGraph()->accessibleName(), QStringLiteral("動作変化量グラフ"));
    // Without a device the dialog works, without a picture or motion values.
    EXPECT_FALSE(f.dialog.PreviewReady());
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.dialog.Motion().LastExitCode() == -1; }));
    EXPECT_TRUE(f.prompts.messages().empty());
}

TEST(DiarySetupDialog, FailedChecksPromptInControlOrderAndStoreNothing) {
    DialogFixture f;
    f.Open("");
    f.Type("1039", "2");
    f.Type("1041", "60");
    f.Type("1043", "30");
    f.dialog.findChild<QLineEdit*>(QStringLiteral("1003"))->setText(QStringLiteral("/new/"));
    f.Button("1")->click();
    EXPECT_TRUE(f.dialog.isVisible());
    EXPECT_EQ(f.prompts.messages(),
              std::vector<std::string>{"Please enter an integer between 0 and 59."});
    EXPECT_EQ(f.dialog.focusWidget(), f.Spin("1041"));
    // Neither the hours checked before the failing field nor the rejected
    // minutes reach the settings, and Cancel keeps nothing.
    EXPECT_EQ(f.settings.Copy(), DiarySettings{});
    f.Button("2")->click();
    EXPECT_FALSE(f.dialog.isVisible());
    EXPECT_EQ(f.dialog.result(), QDialog::Rejected);
    EXPECT_EQ(f.settings.Copy(), DiarySettings{});

    // The signed fields, in their order: check interval before level.
    DialogFixture g;
    g.Open("");
    g.Type("1039", "-1");
    g.Button("1")->click();
    g.Type("1039", "1");
    g.Type("1073", "x");
    g.Type("1048", "y");
    g.Button("1")->click();
    g.Type("1073", "30001");
    g.Button("1")->click();
    g.Type("1073", "20");
    g.Button("1")->click();
    g.Type("1048", "0");
    g.Type("1010", "0");
    g.Button("1")->click();
    EXPECT_EQ(g.prompts.messages(), (std::vector<std::string>{
                                        "Please enter a positive integer.",
                                        "Please enter an integer.",
                                        "Please enter an integer between 20 and 30000.",
                                        "Please enter an integer.",
                                        "Please enter an integer between 1 and 30000.",
                                    }));
    EXPECT_EQ(g.dialog.focusWidget(), g.Spin("1010"));
    // A folder that does not exist is taken as it stands, and OK closes.
    g.Type("1010", "601");
    g.dialog.findChild<QLineEdit*>(QStringLiteral("1003"))
        ->setText(QStringLiteral("/nowhere/日記"));
    g.Button("1")->click();
    EXPECT_FALSE(g.dialog.isVisible());
    EXPECT_EQ(g.dialog.result(), QDialog::Accepted);
    const DiarySettings s = g.settings.Copy();
    EXPECT_EQ(s.MOTION_DETECT_LEVEL, 0);
    EXPECT_EQ(s.MOTION_DETECT_INTERVAL, 601);
    EXPECT_EQ(s.MOTION_DETECT_UPDATE, 20);
    EXPECT_EQ(s.SAVE_DIRECTORY, "/nowhere/日記");
    EXPECT_EQ(g.prompts.messages().size(), 5u);
}

TEST(DiarySetupDialog, BrowseAndARefusedApplyStoreNothingAndCancelKeepsNothing) {
    DialogFixture f;
    f.settings.Update([](DiarySettings& s) { s.SAVE_DIRECTORY = "/old/"; });
    const DiarySettings opened = f.settings.Copy();
    f.Open("");
    QLineEdit* folder = f.dialog.findChild<QLineEdit*>(QStringLiteral("1003"));
    f.Type("1041", "5");
    f.Type("1073", "5");
    f.Button("1")->click();
    f.Button("4")->click();
    EXPECT_EQ(f.prompts.messages(),
              std::vector<std::string>(2, "Please enter an integer between 20 and 30000."));
    f.chosen_folder = std::nullopt;  // the browser cancelled
    f.Button("1000")->click();
    EXPECT_EQ(folder->text(), QStringLiteral("/old/"));
    f.chosen_folder = "/srv/diary";
    f.Button("1000")->click();
    // The folder goes into its field as given; what was typed elsewhere stays.
    EXPECT_EQ(folder->text(), QStringLiteral("/srv/diary"));
    EXPECT_EQ(f.Spin("1041")->lineEdit()->text(), QStringLiteral("5"));
    EXPECT_EQ(f.settings.Copy(), opened);
    f.Button("2")->click();
    EXPECT_EQ(f.settings.Copy(), opened);

    // The next opening shows the settings again. An Apply whose checks all
    // pass stores its values, which a later Cancel keeps; a value set through
    // a spin's accessible Value interface is what OK takes.
    f.dialog.show();
    EXPECT_EQ(f.Spin("1041")->lineEdit()->text(), QStringLiteral("10"));
    EXPECT_EQ(folder->text(), QStringLiteral("/old/"));
    f.Type("1041", "5");
    f.Button("4")->click();
    EXPECT_EQ(f.settings.Copy().INTERVAL_MINUTE, 5);
    f.Button("2")->click();
    EXPECT_EQ(f.settings.Copy().INTERVAL_MINUTE, 5);
    f.dialog.show();
    QAccessibleInterface* minutes = QAccessible::queryAccessibleInterface(f.Spin("1041"));
    ASSERT_NE(minutes, nullptr);
    ASSERT_NE(minutes->valueInterface(), nullptr);
    EXPECT_EQ(minutes->valueInterface()->currentValue().toInt(), 5);
    EXPECT_EQ(minutes->valueInterface()->maximumValue().toInt(), 59);
    minutes->valueInterface()->setCurrentValue(42.0);
    f.Button("1")->click();
    EXPECT_EQ(f.dialog.result(), QDialog::Accepted);
    EXPECT_EQ(f.settings.Copy().INTERVAL_MINUTE, 42);
    EXPECT_EQ(f.prompts.messages().size(), 2u);
}

TEST(DiarySetupDialog, MovingDeviceDrawsScoresAndApplyOutsideTheLimitsKeepsTheGraphStill) {
    DialogFixture f;
    f.settings.Update([](DiarySettings& s) {
        s.MOTION_DETECT_UPDATE = 100;
        s.MOTION_DETECT_LEVEL = 30;
    });
    f.Open("Cam");
    ASSERT_TRUE(f.dialog.PreviewReady());
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return f.dialog.LivePicture()->FramesShown() > 2; }, kPatienceMs));
    const auto scores_moving = [&] {
        const auto v = f.Scores();
        return std::any_of(v.begin(), v.end(), [](int x) { return x > 0; });
    };
    ASSERT_TRUE(QTest::qWaitFor(scores_moving, kPatienceMs));
    const auto& model = f.dialog.MotionGraph()->Model();
    EXPECT_EQ(model.Values(1), std::vector<std::int32_t>(model.Values(1).size(), 30));

    for (const char* field : {"1010", "1048"}) {
        f.Type("1010", "60");
        f.Type("1048", "30");
        f.Type(field, field == std::string("1010") ? "601" : "0");
        f.Button("4")->click();
        EXPECT_FALSE(f.dialog.Motion().IsRunning()) << field;
        const auto all_zero = [&] {
            const auto v = f.Scores();
            return !v.empty() && std::all_of(v.begin(), v.end(), [](int x) { return x == 0; });
        };
        EXPECT_TRUE(all_zero());
        const int checks = f.dialog.ChecksMade();
        QTest::qWait(300);
        EXPECT_EQ(f.dialog.ChecksMade(), checks);
        EXPECT_TRUE(all_zero());
    }
    EXPECT_TRUE(f.prompts.messages().empty());
    f.Type("1048", "40");
    f.Button("4")->click();
    EXPECT_TRUE(f.dialog.Motion().IsRunning());
    EXPECT_EQ(model.Values(1).back(), 40);
    ASSERT_TRUE(QTest::qWaitFor(scores_moving, kPatienceMs));
    f.Button("1")->click();
    EXPECT_EQ(f.dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(f.dialog.Motion().IsRunning());
    EXPECT_FALSE(f.dialog.PreviewReady());
}

TEST(DiarySetupDialog, StillOrStoppedDeviceDrawsNothingAndTheDialogClosesPromptly) {
    for (const char* device : {"Still", "Old"}) {
        DialogFixture f;
        f.settings.Update([](DiarySettings& s) { s.MOTION_DETECT_UPDATE = 100; });
        f.Open(device);
        ASSERT_TRUE(f.dialog.PreviewReady()) << device;
        // The thread waits for a fresh frame that never comes: once the
        // stopping device has sent its 15 frames (half a second), no check ends.
        ASSERT_TRUE(QTest::qWaitFor([&] { return f.dialog.ChecksMade() >= 1; }, kPatienceMs));
        // The picture is pulled on the dialog's own timer, which a loaded
        // machine may run only after the thread's first check.
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return f.dialog.LivePicture()->FramesShown() > 0; }, kPatienceMs))
            << device;
        QTest::qWait(1000);
        const int checks = f.dialog.ChecksMade();
        QTest::qWait(500);
        EXPECT_EQ(f.dialog.ChecksMade(), checks) << device;
        if (device == std::string("Still")) {
            EXPECT_EQ(checks, 1);
            const auto scores = f.Scores();
            EXPECT_TRUE(std::all_of(scores.begin(), scores.end(), [](int x) { return x == 0; }));
        }
        EXPECT_TRUE(f.dialog.Motion().IsRunning());
        // Still responsive: a button works while the thread waits.
        f.Type("1041", "9");
        f.Button("2")->click();
        EXPECT_FALSE(f.dialog.isVisible());
        EXPECT_FALSE(f.dialog.Motion().LastStopWasForced()) << device;
        EXPECT_EQ(f.dialog.Motion().LastExitCode(), 0);
        EXPECT_EQ(f.settings.Copy().INTERVAL_MINUTE, 10);  // Cancel copies nothing
    }
}

}  // namespace

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <optional>
#include <sstream>

#include "app/diary_setup_command.h"
#include "app/html_setup_command.h"
#include "app/time_text_setup_command.h"
#include "capture/capture_fakes.h"
#include "capture/device_names.h"
#include "controls/spin_edit.h"
#include "diary/ui/diary_setup_dialog.h"
#include "engine/diary_engine.h"
#include "settings/shared_settings.h"
#include "settings/ui/html_setup_dialog.h"
#include "settings/ui/time_text_setup_dialog.h"
#include "support/temp_dir.h"

namespace {

constexpr int kPatienceMs = 30000;

// The main window's command around the dialog, on a real engine.
class QuestionPrompts final : public Prompts {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string& text) override {
        questions.push_back(text);
        return answer(questions.size());
    }
    std::function<bool(std::size_t)> answer = [](std::size_t) { return false; };
    std::vector<std::string> messages, questions;
};

class NoWindow final : public CaptureWindow {
public:
    void PostTitle(const std::string&) override {}
    void PostPreviewSource(std::shared_ptr<PreviewSource>) override {}
};

// A home folder with one test camera and an engine on it, built and running.
class CommandHome {
public:
    explicit CommandHome(Prompts& prompts) : devices_("Cam") {
        ::setenv("QUILLOMAT_HOME", home.str().c_str(), 1);
        engine = std::make_unique<DiaryEngine>(DiaryEngineSeams{
            clock, prompts, chooser_, nullptr, window_, nullptr, [this] { return home.str(); },
            false, DiaryEngineDelays{}.DividedBy(100)});
        engine->LoadSettings();
        engine->Settings().Update([](DiarySettings& s) { s.SELECT = "Cam"; });
    }
    ~CommandHome() {
        engine.reset();
        ::unsetenv("QUILLOMAT_HOME");
    }

    ScaledClock clock{10};
    TempDir home;
    std::unique_ptr<DiaryEngine> engine;

private:
    ScopedTestDevices devices_;
    AutomaticDeviceChooser chooser_;
    NoWindow window_;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(DiarySetupCommand, ReleasesRunsMarksPagesOnOkRebuildsOrWaitsForTheCameraAndSaves) {
    QuestionPrompts prompts;
    CommandHome at(prompts);
    DiaryEngine& engine = *at.engine;
    TempDir& home = at.home;
    engine.Settings().Update([](DiarySettings& s) {
        s.SELECT = "Cam";
        s.WIDTH = 160;
        s.HEIGHT = 120;
        s.FRAMERATE = 666666;
    });
    ASSERT_TRUE(engine.BuildCaptureGraph(true, false));
    RecordingPrompts dialog_prompts;
    CDiarySetupDialog dialog(
        DiarySetupServices{engine.Settings(), dialog_prompts, at.clock, false, {}});

    // Ready, running: what the dialog found of the main graph and worker.
    std::pair<bool, bool> during_dialog{true, true};
    auto press = [&](const char* button, const char* minutes) {
        QTimer::singleShot(0, &dialog, [&, button, minutes] {
            during_dialog = {engine.Graph().ready.load(), engine.Worker().IsRunning()};
            dialog.findChild<SpinEdit*>(QStringLiteral("1041"))
                ->lineEdit()
                ->setText(QString::fromUtf8(minutes));
            dialog.findChild<QPushButton*>(QString::fromUtf8(button))->click();
        });
    };

    press("2", "33");  // Cancel
    ASSERT_TRUE(RunDiarySetupCommand(engine, dialog, prompts));
    EXPECT_EQ(during_dialog, std::make_pair(false, false));
    EXPECT_EQ(dialog.DeviceInfo().SELECT, "Cam");
    EXPECT_EQ(dialog.DeviceInfo().WIDTH, 160);
    EXPECT_EQ(dialog.DeviceInfo().FRAMERATE, 666666);
    EXPECT_FALSE(engine.Store().PagesChanged());
    EXPECT_TRUE(engine.Graph().ready.load());
    EXPECT_TRUE(engine.Worker().IsRunning());
    EXPECT_EQ(ReadFile(home.str() + "setup.ini").find("INTERVAL_MINUTE=33"), std::string::npos);

    // OK, and the rebuild finds no device: No to the prompt saves and leaves
    // the graph down while the engine looks for the camera, which is taken
    // when it is back, without asking again.
    press("1", "7");
    std::optional<ScopedTestDevices> gone;
    QTimer::singleShot(0, &dialog, [&] { gone.emplace(""); });
    ASSERT_TRUE(RunDiarySetupCommand(engine, dialog, prompts));
    EXPECT_TRUE(engine.Store().PagesChanged());
    EXPECT_EQ(prompts.questions, std::vector<std::string>{kGraphFailedPrompt});
    EXPECT_FALSE(engine.Graph().ready.load());
    EXPECT_TRUE(engine.WaitingForCamera());
    EXPECT_NE(ReadFile(home.str() + "setup.ini").find("INTERVAL_MINUTE=7"), std::string::npos);
    QTest::qWait(50);
    gone.reset();
    QTRY_VERIFY_WITH_TIMEOUT(engine.Graph().ready.load(), kPatienceMs);
    EXPECT_FALSE(engine.WaitingForCamera());
    EXPECT_EQ(prompts.questions.size(), 1u);

    // Yes to the prompt: the caller closes; nothing is saved.
    press("1", "8");
    QTimer::singleShot(0, &dialog, [&] { gone.emplace(""); });
    prompts.answer = [](std::size_t) { return true; };
    EXPECT_FALSE(RunDiarySetupCommand(engine, dialog, prompts));
    EXPECT_EQ(ReadFile(home.str() + "setup.ini").find("INTERVAL_MINUTE=8"), std::string::npos);
    EXPECT_FALSE(engine.Graph().ready.load());
    gone.reset();
    EXPECT_TRUE(dialog_prompts.messages().empty());
}

class AnsweringPrompts final : public Prompts {
public:
    void ShowMessage(const std::string&) override {}
    bool AskYesNo(const std::string& text) override {
        questions.push_back(text);
        return answer();
    }
    std::function<bool()> answer;
    std::vector<std::string> questions;
};

TEST(HtmlSetupCommand, ReleasesRunsMarksPagesOnOkAndRebuildsOrWaitsWithoutSaving) {
    AnsweringPrompts prompts;
    CommandHome at(prompts);
    DiaryEngine& engine = *at.engine;
    TempDir& home = at.home;
    ASSERT_TRUE(engine.BuildCaptureGraph(true, false));
    RecordingPrompts dialog_prompts;
    CHtmlSetupDialog dialog(
        HtmlSetupServices{engine.Settings(), dialog_prompts, [&] { return home.str(); }});
    bool released = false;
    std::optional<ScopedTestDevices> gone;
    // Runs the dialog: types a picture size, presses a button, and may take
    // the device away so that the rebuild fails.
    auto run = [&](const char* button, const char* size, bool take_device) {
        return [&, button, size, take_device](QDialog& d) {
            QTimer::singleShot(0, &d, [&, button, size, take_device] {
                released = !engine.Graph().ready.load() && !engine.Worker().IsRunning();
                dialog.findChild<SpinEdit*>("1045")->lineEdit()->setText(size);
                dialog.findChild<QAbstractButton*>(button)->click();
                if (take_device) gone.emplace("");
            });
            return d.exec();
        };
    };

    ASSERT_TRUE(RunHtmlSetupCommand(engine, dialog, prompts, run("2", "33", false)));
    EXPECT_TRUE(released);
    EXPECT_FALSE(engine.Store().PagesChanged());
    EXPECT_EQ(engine.Settings().Copy().PREVIEW_IMAGE_SIZE, 50);
    EXPECT_TRUE(engine.Worker().IsRunning());

    // OK; the rebuild finds no device and the prompt is answered No: the
    // window stays without a picture while the engine looks for a camera.
    prompts.answer = [&] {
        gone.reset();
        return false;
    };
    ASSERT_TRUE(RunHtmlSetupCommand(engine, dialog, prompts, run("1", "34", true)));
    EXPECT_TRUE(engine.Store().PagesChanged());
    EXPECT_EQ(engine.Settings().Copy().PREVIEW_IMAGE_SIZE, 34);
    EXPECT_EQ(prompts.questions, std::vector<std::string>{kGraphFailedPrompt});
    EXPECT_FALSE(engine.Graph().ready.load());
    EXPECT_TRUE(engine.WaitingForCamera());

    // Yes to the prompt: the caller closes. Nothing was saved on the way.
    prompts.answer = [] { return true; };
    EXPECT_FALSE(RunHtmlSetupCommand(engine, dialog, prompts, run("2", "35", true)));
    EXPECT_FALSE(engine.Graph().ready.load());
    gone.reset();
    EXPECT_FALSE(std::filesystem::exists(home.path() / "setup.ini"));
}

TEST(TimeTextSetupCommand, RunsTheDialogWhileTheWorkerKeepsRunningAndSavesNothing) {
    RecordingPrompts prompts;
    CommandHome at(prompts);
    DiaryEngine& engine = *at.engine;
    TempDir& home = at.home;
    // Off the air the worker runs without storing: a store's grab on this
    // fast clock recovers the camera, which would make the graph unready for
    // a moment while the dialog looks.
    engine.Settings().Update([](DiarySettings& s) { s.ONAIR = false; });
    engine.SaveSettings();
    ASSERT_TRUE(engine.BuildCaptureGraph(true, false));
    const std::string setup_before = ReadFileBytes(home.path() / "setup.ini");

    CTimeTextSetupDialog dialog(TimeTextSetupServices{
        engine.Settings(), prompts, [](QWidget*) { return std::optional<std::uint32_t>(0xABCDEF); },
        [] {
            return std::vector<FontFamily>{{"IPAGothic", true, true, true}};
        }});
    std::vector<bool> running_meanwhile;
    auto press_after = [&](const char* button, const char* x) {
        QTimer::singleShot(0, &dialog, [&, button, x] {
            running_meanwhile.push_back(engine.Graph().ready.load() && engine.Worker().IsRunning());
            dialog.findChild<SpinEdit*>(QStringLiteral("1003"))->lineEdit()->setText(x);
            dialog.findChild<QPushButton*>(QStringLiteral("1001"))->click();
            dialog.findChild<QPushButton*>(QString::fromUtf8(button))->click();
        });
    };
    press_after("2", "33");
    RunTimeTextSetupCommand(dialog);
    EXPECT_EQ(engine.Settings().Copy().TEXT_XPOS, 5);
    press_after("1", "44");
    RunTimeTextSetupCommand(dialog);
    EXPECT_EQ(running_meanwhile, (std::vector<bool>{true, true}));
    EXPECT_TRUE(engine.Worker().IsRunning());
    // The next store copies the new values; the files wait for a save.
    const DiarySettings s = engine.Settings().Copy();
    EXPECT_EQ(std::tuple(s.TEXT_XPOS, s.SHADOW_COLOR, s.FONT_NAME),
              std::tuple(44, 0xABCDEFu, std::string("ＭＳ ゴシック")));
    EXPECT_EQ(ReadFileBytes(home.path() / "setup.ini"), setup_before);
    EXPECT_TRUE(prompts.messages().empty());
}

}  // namespace

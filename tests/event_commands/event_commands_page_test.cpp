#include "event_commands/ui/event_commands_page.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <string>
#include <vector>

#include "controls/spin_edit.h"
#include "event_commands/event_commands_settings.h"
#include "platform/prompts.h"
#include "settings/diary_settings.h"
#include "support/temp_dir.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class NotedPrompts final : public Prompts {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string& text) override {
        messages.push_back(text);
        return false;
    }
    std::vector<std::string> messages;
};

// Waits, processing the page's timer, until the test run has ended.
bool WaitForTheTest(EventCommandsPage& page) {
    for (int i = 0; i < 2000 && !page.TestButton()->isEnabled(); ++i) QTest::qWait(10);
    return page.TestButton()->isEnabled();
}

// The tab edits the four commands, the time limit (within 1 to 86400, with
// the designed prompt) and the cooldown (0 to 86400), and its button runs the chosen command, as
// typed, with test values: what it did shows beneath.
TEST(EventCommandsPage, EditsTheCommandsAndRunsOneWithTestValues) {
    TempDir dir;
    NotedPrompts prompts;
    EventCommandsPage page(prompts);
    DiarySettings settings;
    settings.Section<EventCommandsSettings>().ON_CAMERA_LOST = "notify-send 'カメラ'";
    settings.Section<EventCommandsSettings>().COMMAND_TIMEOUT_SECOND = 30;
    settings.Section<EventCommandsSettings>().COOLDOWN_SECOND = 120;
    settings.SAVE_DIRECTORY = (dir.path() / "diary").string();
    settings.SELECT = "Cam (2)";
    page.Load(settings);
    EXPECT_EQ(page.CommandEdit(CommandEvent::kCameraLost)->text(),
              QStringLiteral("notify-send 'カメラ'"));
    EXPECT_EQ(page.TimeoutEdit()->lineEdit()->text(), QStringLiteral("30"));
    EXPECT_EQ(page.CooldownEdit()->lineEdit()->text(), QStringLiteral("120"));

    page.TimeoutEdit()->lineEdit()->setText(QStringLiteral("0"));
    EXPECT_FALSE(page.Validate());
    EXPECT_THAT(prompts.messages, ElementsAre("Please enter an integer between 1 and 86400."));
    page.TimeoutEdit()->lineEdit()->setText(QStringLiteral("5"));
    page.CooldownEdit()->lineEdit()->setText(QStringLiteral("86401"));
    EXPECT_FALSE(page.Validate());
    EXPECT_EQ(prompts.messages.back(), "Please enter an integer between 0 and 86400.");
    page.CooldownEdit()->lineEdit()->setText(QStringLiteral("0"));
    EXPECT_TRUE(page.Validate());
    page.CooldownEdit()->lineEdit()->setText(QStringLiteral("45"));

    const std::filesystem::path out = dir.path() / "facts";
    page.CommandEdit(CommandEvent::kPicture)
        ->setText(QString::fromStdString(
            "sh -c 'printf \"%s|%s|%s\" \"$QUILLOMAT_EVENT\" \"$QUILLOMAT_CAMERA\" "
            "\"$QUILLOMAT_PICTURE\" > \"$1\"' sh '" +
            out.string() + "'"));
    page.CommandEdit(CommandEvent::kStoreFailed)
        ->setText(QStringLiteral("sh -c 'echo oops >&2; exit 3'"));
    page.TestChoice()->setCurrentIndex(0);
    page.TestButton()->click();
    ASSERT_TRUE(WaitForTheTest(page));
    EXPECT_THAT(page.TestResult()->text().toStdString(), HasSubstr("終了コード 0"));
    EXPECT_THAT(ReadFileBytes(out),
                StartsWith("picture|Cam (2)|" + (dir.path() / "diary").string() + "/"));
    EXPECT_TRUE(ReadFileBytes(out).ends_with(".jpg"));

    page.TestChoice()->setCurrentIndex(1);
    page.TestButton()->click();
    ASSERT_TRUE(WaitForTheTest(page));
    EXPECT_EQ(page.TestResult()->text().toStdString(),
              "ON_STORE_FAILED のコマンドが失敗しました (終了コード 3): oops");

    page.TestChoice()->setCurrentIndex(3);
    page.TestButton()->click();
    EXPECT_THAT(page.TestResult()->text().toStdString(), HasSubstr("ON_CAMERA_FOUND"));
    EXPECT_TRUE(page.TestButton()->isEnabled()) << "nothing to run";

    DiarySettings stored;
    page.Store(stored);
    EXPECT_EQ(stored.Section<EventCommandsSettings>().ON_STORE_FAILED,
              "sh -c 'echo oops >&2; exit 3'");
    EXPECT_EQ(stored.Section<EventCommandsSettings>().ON_CAMERA_LOST, "notify-send 'カメラ'");
    EXPECT_EQ(stored.Section<EventCommandsSettings>().ON_CAMERA_FOUND, "");
    EXPECT_EQ(stored.Section<EventCommandsSettings>().COMMAND_TIMEOUT_SECOND, 5);
    EXPECT_EQ(stored.Section<EventCommandsSettings>().COOLDOWN_SECOND, 45);
}

}  // namespace

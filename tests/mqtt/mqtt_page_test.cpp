#include "mqtt/ui/mqtt_page.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <string>
#include <vector>

#include "controls/spin_edit.h"
#include "mqtt/mqtt_broker.h"
#include "mqtt/mqtt_settings.h"
#include "platform/prompts.h"
#include "settings/diary_settings.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class NotedPrompts final : public Prompts {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string& text) override {
        messages.push_back(text);
        return false;
    }
    std::vector<std::string> messages;
};

bool WaitForTheTest(MqttPage& page) {
    for (int i = 0; i < 3000 && page.Testing(); ++i) QTest::qWait(10);
    return !page.Testing();
}

// The tab keeps every key as it was loaded, refuses a port beyond 65535,
// and its button connects with the fields as they stand, on a pool thread:
// the real broker with the password from a file relative to the settings
// folder is reached, a wrong password is said without the password.
TEST(MqttPage, EditsTheLinkAndTestsItAgainstARealBroker) {
    TempDir home;
    TestBroker broker(home.path() / "broker", "diary", "right-horse");
    ASSERT_TRUE(broker.Start());
    WriteFileBytes(home.path() / "pw", "right-horse\n");
    fs::permissions(home.path() / "pw", fs::perms::owner_read | fs::perms::owner_write);
    WriteFileBytes(home.path() / "wrong", "battery-staple\n");
    fs::permissions(home.path() / "wrong", fs::perms::owner_read | fs::perms::owner_write);

    NotedPrompts prompts;
    MqttPage page(prompts, home.path().string() + "/");
    DiarySettings settings;
    MqttSettings& s = settings.Section<MqttSettings>();
    s.HOST = "127.0.0.1";
    s.PORT = broker.port();
    s.USER = "diary";
    s.PASSWORD_FILE = "pw";
    s.TOPIC = "house/cam";
    s.DISCOVERY = false;
    s.DISCOVERY_PREFIX = "ha";
    page.Load(settings);
    EXPECT_FALSE(page.DiscoveryPrefixEdit()->isEnabled());
    DiarySettings stored;
    page.Store(stored);
    EXPECT_EQ(stored.Section<MqttSettings>(), s);

    page.TestButton()->click();
    ASSERT_TRUE(WaitForTheTest(page));
    EXPECT_EQ(page.TestResult()->text(), MqttPage::tr("接続できました。"));

    page.PasswordFileEdit()->setText(QStringLiteral("wrong"));
    page.TestButton()->click();
    ASSERT_TRUE(WaitForTheTest(page));
    const QString refused = page.TestResult()->text();
    EXPECT_TRUE(refused.startsWith(MqttPage::tr("接続できません: %1").arg(QString())))
        << refused.toStdString();
    EXPECT_FALSE(refused.contains(QStringLiteral("battery"))) << refused.toStdString();

    page.PortEdit()->lineEdit()->setText(QStringLiteral("70000"));
    EXPECT_FALSE(page.Validate());
    EXPECT_EQ(prompts.messages.size(), 1u);
}

}  // namespace

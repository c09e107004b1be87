#include "publish/ui/publish_setup_page.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <cstdio>

#include "platform/prompts.h"
#include "publish/publish_settings.h"
#include "publish/remote_check.h"
#include "settings/diary_settings.h"
#include "support/temp_dir.h"

namespace {

class RecordingPrompts final : public Prompts {
public:
    void ShowMessage(const std::string& text) override { shown.push_back(text); }
    bool AskYesNo(const std::string& text) override {
        shown.push_back(text);
        return false;
    }
    std::vector<std::string> shown;
};

std::string Obscured(const std::string& password) {
    std::string out;
    FILE* pipe = ::popen(("rclone obscure " + password).c_str(), "r");
    if (!pipe) return out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    ::pclose(pipe);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

TEST(PublishSetupPage, SecretsShowMaskedKeepTheirStoredValuesAndNewOnesAreRefused) {
    RecordingPrompts prompts;
    PublishSetupPage page(prompts);
    DiarySettings settings;
    settings.Section<PublishSettings>().REMOTE =
        ":sftp,host=example.org,user=me,pass=0bscur3d:diary";
    settings.Section<PublishSettings>().RCLONE_CONFIG = "/home/me/rclone.conf";
    settings.Section<PublishSettings>().PAGE_INTERVAL_SECOND = 60;
    settings.Section<PublishSettings>().BWLIMIT = "1M";
    page.Load(settings);
    EXPECT_EQ(page.RemoteEdit()->text().toStdString(),
              ":sftp,host=example.org,user=me,pass=***:diary");

    // Unchanged, or only the path edited: the stored password stays.
    DiarySettings stored;
    ASSERT_TRUE(page.Validate());
    page.Store(stored);
    EXPECT_EQ(stored.Section<PublishSettings>().REMOTE, settings.Section<PublishSettings>().REMOTE);
    EXPECT_EQ(std::tuple(stored.Section<PublishSettings>().RCLONE_CONFIG,
                         stored.Section<PublishSettings>().PAGE_INTERVAL_SECOND,
                         stored.Section<PublishSettings>().BWLIMIT),
              std::tuple(settings.Section<PublishSettings>().RCLONE_CONFIG, 60,
                         settings.Section<PublishSettings>().BWLIMIT));
    page.RemoteEdit()->setText(QStringLiteral(":sftp,host=example.org,user=me,pass=***:photos"));
    page.IntervalEdit()->setText(QStringLiteral("0"));
    ASSERT_TRUE(page.Validate());
    page.Store(stored);
    EXPECT_EQ(stored.Section<PublishSettings>().REMOTE,
              ":sftp,host=example.org,user=me,pass='0bscur3d':photos");
    EXPECT_EQ(stored.Section<PublishSettings>().PAGE_INTERVAL_SECOND, 0);
    EXPECT_TRUE(prompts.shown.empty());

    // A password typed in is refused: it belongs in rclone's configuration.
    page.RemoteEdit()->setText(QStringLiteral(":sftp,host=example.org,pass=typed:diary"));
    EXPECT_FALSE(page.Validate());
    EXPECT_EQ(prompts.shown, std::vector<std::string>{kCredentialsInRemotePrompt});
    page.RemoteEdit()->setText(QStringLiteral("nas:diary"));
    page.IntervalEdit()->setText(QStringLiteral("86401"));
    EXPECT_FALSE(page.Validate());
    EXPECT_EQ(prompts.shown.back(), "Please enter an integer between 0 and 86400.");
}

// Runs the test button and waits (bounded) for the answer.
std::string Check(PublishSetupPage& page, const std::string& remote) {
    DiarySettings settings;
    settings.Section<PublishSettings>().REMOTE = remote;
    page.Load(settings);
    QTest::mouseClick(page.CheckButton(), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !page.Checking(); }, 60000));
    return page.CheckResult()->toPlainText().toStdString();
}

TEST(PublishSetupPage, TheTestButtonShowsWhatRcloneAnsweredWithoutSecrets) {
    RecordingPrompts prompts;
    PublishSetupPage page(prompts);
    TempDir folder;
    WriteFileBytes(folder.path() / "a.jpg", "a");
    WriteFileBytes(folder.path() / "b.html", "b");

    std::string text = Check(page, folder.path().string());
    EXPECT_TRUE(text.starts_with(std::string(kCheckReachedLine) + "フォルダの項目: 2件")) << text;
    text = Check(page, (folder.path() / "not-yet").string());
    EXPECT_TRUE(text.starts_with(kCheckNoFolderLine)) << text;

    // Nothing listens on port 1: rclone's answer is shown, its secret masked.
    const std::string obscured = Obscured("secretpw");
    ASSERT_FALSE(obscured.empty());
    text = Check(page, ":webdav,url='http://127.0.0.1:1',user=u,pass=" + obscured + ":x");
    EXPECT_TRUE(text.starts_with(kCheckFailedLine)) << text;
    EXPECT_NE(text.find("rcloneの答え:"), std::string::npos) << text;
    EXPECT_NE(text.find("connection refused"), std::string::npos) << text;
    EXPECT_EQ(text.find(obscured), std::string::npos) << text;

    page.SetRclone(folder.str() + "no-such-rclone");
    text = Check(page, folder.path().string());
    EXPECT_NE(text.find("sudo apt-get install rclone"), std::string::npos) << text;
    EXPECT_TRUE(prompts.shown.empty());
}

}  // namespace

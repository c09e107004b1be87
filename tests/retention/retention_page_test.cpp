#include "retention/ui/retention_page.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <chrono>
#include <thread>

#include "controls/spin_edit.h"
#include "platform/prompts.h"
#include "retention/retention_settings.h"
#include "settings/shared_settings.h"
#include "support/fake_clock.h"
#include "support/local_time.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class NoteTakingPrompts final : public Prompts {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string&) override { return true; }
    std::vector<std::string> messages;
};

// Processes events until `label` shows text that matches, or a generous bound.
bool WaitForText(const QLabel* label, const QRegularExpression& pattern) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!pattern.match(label->text()).hasMatch()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        QApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST(RetentionPage, ShowsTheFolderOutlookRefusesValuesOutOfRangeAndStoresOnlyItsOwn) {
    TempDir save;
    fs::create_directories(save.path() / "20240314");
    WriteFileBytes(save.path() / "20240314" / "20240314120000.jpg", std::string(3 << 20, 'x'));
    SharedSettings settings;
    settings.Update([&](DiarySettings& s) {
        s.SAVE_DIRECTORY = save.str();
        s.Section<RetentionSettings>().KEEP_FREE_MB = 500;
    });
    FakeClock clock;
    clock.SetWallClock(LocalTime(2024, 3, 15, 12));
    NoteTakingPrompts prompts;
    CExtraSetupDialog dialog(settings);
    auto* page = new RetentionPage(prompts, clock);
    dialog.AddPage(page);
    auto* days = page->findChild<SpinEdit*>(QStringLiteral("KEEP_DAYS"));
    auto* max_mb = page->findChild<SpinEdit*>(QStringLiteral("KEEP_MAX_MB"));
    auto* free_mb = page->findChild<SpinEdit*>(QStringLiteral("KEEP_FREE_MB"));
    auto* free_space = page->findChild<QLabel*>(QStringLiteral("free_space"));
    auto* days_that_fit = page->findChild<QLabel*>(QStringLiteral("days_that_fit"));
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("1"));
    ASSERT_TRUE(days && max_mb && free_mb && free_space && days_that_fit && ok);
    EXPECT_EQ(dialog.Tabs()->tabText(0), QStringLiteral("保存期間"));
    EXPECT_EQ(std::make_tuple(days->Maximum(), max_mb->Maximum(), free_mb->Maximum()),
              std::make_tuple(36500, 2147483647, 2147483647));

    dialog.show();
    EXPECT_EQ(free_mb->lineEdit()->text(), QStringLiteral("500"));
    // 3 MB from yesterday noon to today noon: 3.0MB a day.
    EXPECT_TRUE(WaitForText(days_that_fit,
                            QRegularExpression(QStringLiteral(
                                "^直近7日間のペース\\(1日あたり3\\.0MB\\)で、あと約[0-9]+日分"))))
        << days_that_fit->text().toStdString();
    EXPECT_TRUE(free_space->text().startsWith(QStringLiteral("空き容量: ")))
        << free_space->text().toStdString();

    days->lineEdit()->setText(QStringLiteral("30"));
    for (const char* refused : {"-1", "x"}) {
        max_mb->lineEdit()->setText(QString::fromUtf8(refused));
        ok->click();
        EXPECT_TRUE(dialog.isVisible()) << refused;
        EXPECT_EQ(settings.Copy().Section<RetentionSettings>().KEEP_DAYS, 0) << refused;
    }
    EXPECT_EQ(prompts.messages,
              (std::vector<std::string>{"Please enter an integer between 0 and 2147483647.",
                                        "Please enter an integer."}));
    prompts.messages.clear();
    days->lineEdit()->setText(QStringLiteral("36501"));
    max_mb->lineEdit()->setText(QStringLiteral("2000"));
    ok->click();
    EXPECT_EQ(prompts.messages,
              std::vector<std::string>{"Please enter an integer between 0 and 36500."});

    days->lineEdit()->setText(QStringLiteral("30"));
    settings.Update([](DiarySettings& s) { s.SELECT = "Cam"; });
    ok->click();
    EXPECT_FALSE(dialog.isVisible());
    const DiarySettings now = settings.Copy();
    EXPECT_EQ(std::make_tuple(now.Section<RetentionSettings>().KEEP_DAYS,
                              now.Section<RetentionSettings>().KEEP_MAX_MB,
                              now.Section<RetentionSettings>().KEEP_FREE_MB, now.SELECT),
              std::make_tuple(30, 2000, 500, std::string("Cam")));

    // A folder that is not there says so.
    settings.Update([&](DiarySettings& s) { s.SAVE_DIRECTORY = save.str() + "gone/"; });
    dialog.show();
    EXPECT_TRUE(WaitForText(
        free_space, QRegularExpression(QStringLiteral("^保存フォルダを調べられません \\("))))
        << free_space->text().toStdString();
}

}  // namespace

#include "timelapse/ui/timelapse_page.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "controls/spin_edit.h"
#include "platform/prompts.h"
#include "settings/shared_settings.h"
#include "timelapse/timelapse_settings.h"

namespace {

class NoteTakingPrompts final : public Prompts {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string&) override { return true; }
    std::vector<std::string> messages;
};

TEST(TimelapsePage, ShowsTheSettingsRefusesAnFpsOutOfOneToSixtyAndStoresOnlyItsOwn) {
    SharedSettings settings;
    settings.Update([](DiarySettings& s) { s.Section<TimelapseSettings>().FPS = 12; });
    NoteTakingPrompts prompts;
    CExtraSetupDialog dialog(settings);
    auto* page = new TimelapsePage(prompts);
    dialog.AddPage(page);
    auto* make = page->findChild<QCheckBox*>(QStringLiteral("TIMELAPSE_MAKE"));
    auto* fps = page->findChild<SpinEdit*>(QStringLiteral("TIMELAPSE_FPS"));
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("1"));
    ASSERT_TRUE(make && fps && ok);
    EXPECT_EQ(page->Title(), QStringLiteral("タイムラプス"));
    EXPECT_EQ(std::make_tuple(fps->Minimum(), fps->Maximum()), std::make_tuple(1, 60));

    dialog.show();
    EXPECT_FALSE(make->isChecked());
    EXPECT_EQ(fps->lineEdit()->text(), QStringLiteral("12"));
    make->setChecked(true);
    for (const char* refused : {"0", "61", "x"}) {
        fps->lineEdit()->setText(QString::fromUtf8(refused));
        ok->click();
        EXPECT_TRUE(dialog.isVisible()) << refused;
        EXPECT_FALSE(settings.Copy().Section<TimelapseSettings>().MAKE) << refused;
    }
    EXPECT_EQ(prompts.messages,
              (std::vector<std::string>{"Please enter an integer between 1 and 60.",
                                        "Please enter an integer between 1 and 60.",
                                        "Please enter an integer."}));

    fps->lineEdit()->setText(QStringLiteral("60"));
    settings.Update([](DiarySettings& s) { s.SELECT = "Cam"; });
    ok->click();
    EXPECT_FALSE(dialog.isVisible());
    const DiarySettings now = settings.Copy();
    EXPECT_EQ(std::make_tuple(now.Section<TimelapseSettings>().MAKE,
                              now.Section<TimelapseSettings>().FPS, now.SELECT),
              std::make_tuple(true, 60, std::string("Cam")));
}

}  // namespace

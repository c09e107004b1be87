#include "settings/ui/extra_setup_dialog.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "settings/shared_settings.h"

namespace {

// A page of one text field that refuses "bad".
class TextPage final : public SettingsPage {
public:
    TextPage(QString title, std::string DiarySettings::*field)
        : title_(std::move(title)), field_(field) {
        edit = new QLineEdit(this);
        (new QVBoxLayout(this))->addWidget(edit);
    }
    QString Title() const override { return title_; }
    void Load(const DiarySettings& s) override { edit->setText(QString::fromStdString(s.*field_)); }
    bool Validate() override { return edit->text() != QStringLiteral("bad"); }
    void Store(DiarySettings& s) const override { s.*field_ = edit->text().toStdString(); }
    QLineEdit* edit;

private:
    QString title_;
    std::string DiarySettings::*field_;
};

TEST(ExtraSetupDialog, OkWritesEveryPageOnlyWhenAllAcceptAndOnlyTheirFieldsCancelNothing) {
    SharedSettings settings;
    settings.Update([](DiarySettings& s) {
        s.REMOTE = "old:remote";
        s.ON_PICTURE = "old command";
    });
    CExtraSetupDialog dialog(settings);
    auto* first = new TextPage(QStringLiteral("公開"), &DiarySettings::REMOTE);
    auto* second = new TextPage(QStringLiteral("イベント"), &DiarySettings::ON_PICTURE);
    dialog.AddPage(first);
    dialog.AddPage(second);
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("1"));
    auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("2"));
    ASSERT_NE(ok, nullptr);
    ASSERT_NE(cancel, nullptr);

    dialog.show();
    EXPECT_EQ(first->edit->text(), QStringLiteral("old:remote"));
    first->edit->setText(QStringLiteral("new:remote"));
    second->edit->setText(QStringLiteral("bad"));
    ok->click();
    // Refused on the second page: nothing written, the dialog stays on it.
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.Tabs()->currentWidget(), second);
    EXPECT_EQ(settings.Copy().REMOTE, "old:remote");
    cancel->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(settings.Copy().REMOTE, "old:remote");
    EXPECT_EQ(settings.Copy().ON_PICTURE, "old command");

    // Opened again, the controls show the settings, not what was cancelled;
    // OK writes the pages' fields and keeps what changed meanwhile elsewhere.
    dialog.show();
    EXPECT_EQ(first->edit->text(), QStringLiteral("old:remote"));
    first->edit->setText(QStringLiteral("new:remote"));
    settings.Update([](DiarySettings& s) { s.SELECT = "Cam"; });
    ok->click();
    EXPECT_FALSE(dialog.isVisible());
    const DiarySettings now = settings.Copy();
    EXPECT_EQ(
        std::tuple(now.REMOTE, now.ON_PICTURE, now.SELECT),
        std::tuple(std::string("new:remote"), std::string("old command"), std::string("Cam")));
}

}  // namespace

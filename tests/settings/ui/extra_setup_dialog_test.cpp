#include "settings/ui/extra_setup_dialog.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "settings/shared_settings.h"

namespace {

// A job's section, as the pages of the dialog edit them.
struct JobTexts {
    std::string REMOTE;
    std::string ON_PICTURE;
    bool operator==(const JobTexts&) const = default;
};

// A page of one text field that refuses "bad".
class TextPage final : public SettingsPage {
public:
    TextPage(QString title, std::string JobTexts::*field)
        : title_(std::move(title)), field_(field) {
        edit = new QLineEdit(this);
        (new QVBoxLayout(this))->addWidget(edit);
    }
    QString Title() const override { return title_; }
    void Load(const DiarySettings& s) override {
        edit->setText(QString::fromStdString(s.Section<JobTexts>().*field_));
    }
    bool Validate() override { return edit->text() != QStringLiteral("bad"); }
    void Store(DiarySettings& s) const override {
        s.Section<JobTexts>().*field_ = edit->text().toStdString();
    }
    QLineEdit* edit;

private:
    QString title_;
    std::string JobTexts::*field_;
};

TEST(ExtraSetupDialog, OkWritesEveryPageOnlyWhenAllAcceptAndOnlyTheirFieldsCancelNothing) {
    SharedSettings settings;
    settings.Update([](DiarySettings& s) {
        s.Section<JobTexts>().REMOTE = "old:remote";
        s.Section<JobTexts>().ON_PICTURE = "old command";
    });
    CExtraSetupDialog dialog(settings);
    auto* first = new TextPage(QStringLiteral("公開"), &JobTexts::REMOTE);
    auto* second = new TextPage(QStringLiteral("イベント"), &JobTexts::ON_PICTURE);
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
    EXPECT_EQ(settings.Copy().Section<JobTexts>().REMOTE, "old:remote");
    cancel->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(settings.Copy().Section<JobTexts>().REMOTE, "old:remote");
    EXPECT_EQ(settings.Copy().Section<JobTexts>().ON_PICTURE, "old command");

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
        std::tuple(now.Section<JobTexts>().REMOTE, now.Section<JobTexts>().ON_PICTURE, now.SELECT),
        std::tuple(std::string("new:remote"), std::string("old command"), std::string("Cam")));
}

}  // namespace

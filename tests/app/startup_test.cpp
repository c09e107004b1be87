#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/quillomat_app.h"
#include "app/timer_dialog.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace {

using Args = std::vector<std::string>;

class StartupWaits : public ::testing::Test {
protected:
    void WriteSetup(const std::string& timer, const std::string& dialog) {
        WriteFileBytes(home_.path() / "setup.ini", "[APPLICATION]\r\nSTARTUP_TIMER=" + timer +
                                                       "\r\nSTARTUP_DIALOG=" + dialog + "\r\n");
    }
    bool Run(const Args& args) {
        CQuillomatApp app(clock_, [this](int seconds) {
            countdowns_.push_back(seconds);
            return countdown_answer_;
        });
        return app.RunStartupWaits(args, home_.str());
    }

    TempDir home_;
    FakeClock clock_;
    std::vector<int> countdowns_;
    bool countdown_answer_ = true;
};

TEST_F(StartupWaits, OnlyTheExactArgumentWaitsAndEveryOccurrenceDoes) {
    WriteSetup("10", "on");
    EXPECT_TRUE(Run({"/usr/bin/quillomat"}));
    EXPECT_TRUE(Run({"/usr/bin/quillomat", "Startup", "STARTUP", "startup ", "--startup"}));
    EXPECT_TRUE(countdowns_.empty());

    EXPECT_TRUE(Run({"/usr/bin/quillomat", "startup"}));
    EXPECT_EQ(countdowns_, (std::vector<int>{10}));

    // Settings are read for each occurrence.
    countdowns_.clear();
    EXPECT_TRUE(Run({"/usr/bin/quillomat", "startup", "x", "startup"}));
    EXPECT_EQ(countdowns_, (std::vector<int>{10, 10}));
    EXPECT_EQ(clock_.SleptMs(), 0u);

    WriteSetup("3", "off");
    EXPECT_TRUE(Run({"startup", "startup"}));
    EXPECT_EQ(clock_.SleptMs(), 6000u);
}

TEST_F(StartupWaits, DialogOnlyForExactlyOnElseAPlainSleep) {
    for (const std::string dialog : {"On", "ON", "oN", "onn", "yes", "1", ""}) {
        SCOPED_TRACE(dialog);
        WriteSetup("10", dialog);
        const std::uint32_t before = clock_.SleptMs();
        EXPECT_TRUE(Run({"quillomat", "startup"}));
        EXPECT_EQ(clock_.SleptMs() - before, 10000u);
    }
    EXPECT_TRUE(countdowns_.empty());
    // A value written with quotes reads without them, as the profile reader does.
    WriteSetup("2", "\"on\"");
    EXPECT_TRUE(Run({"quillomat", "startup"}));
    EXPECT_EQ(countdowns_, (std::vector<int>{2}));
}

TEST_F(StartupWaits, NoDelayForZeroNegativeOrMissingTimer) {
    for (const std::string timer : {"0", "-5", "-2147483648", "abc"}) {
        SCOPED_TRACE(timer);
        WriteSetup(timer, "on");
        EXPECT_TRUE(Run({"startup"}));
        WriteSetup(timer, "off");
        EXPECT_TRUE(Run({"startup"}));
    }
    std::filesystem::remove(home_.path() / "setup.ini");
    EXPECT_TRUE(Run({"startup"}));
    EXPECT_TRUE(countdowns_.empty());
    EXPECT_EQ(clock_.SleptMs(), 0u);
}

TEST_F(StartupWaits, ADeclinedCountdownEndsBeforeTheNextWait) {
    WriteSetup("10", "on");
    countdown_answer_ = false;
    EXPECT_FALSE(Run({"startup", "startup"}));
    EXPECT_EQ(countdowns_, (std::vector<int>{10}));
}

// Ticks of the dialog's timer, counted from outside.
class TickCounter : public QObject {
public:
    int ticks = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Timer) ++ticks;
        return false;
    }
};

struct CountdownRun {
    int result = -1;
    int ticks = 0;
    QStringList texts;
    bool visible_at_end = true;
};

// Runs the dialog with a 1 ms tick; `act` runs once it is open.
CountdownRun RunCountdown(int seconds, std::function<void(CTimerDialog&)> act = {}) {
    CTimerDialog dialog(seconds, nullptr, 1);
    TickCounter counter;
    dialog.installEventFilter(&counter);
    CountdownRun run;
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("countdown"));
    QObject::connect(edit, &QLineEdit::textChanged,
                     [&](const QString& text) { run.texts.push_back(text); });
    if (act) QTimer::singleShot(0, &dialog, [&] { act(dialog); });
    run.result = dialog.exec();
    run.ticks = counter.ticks;
    run.visible_at_end = dialog.isVisible();
    return run;
}

QPushButton* Button(QWidget& dialog, const QString& text) {
    for (auto* button : dialog.findChildren<QPushButton*>()) {
        if (button->text() == text) return button;
    }
    return nullptr;
}

QStringList Texts(int from, int to) {
    QStringList texts;
    for (int n = from; n >= to; --n)
        texts << QStringLiteral("%1秒後にQuillomatを起動します").arg(n);
    return texts;
}

TEST(CTimerDialog, CountsDownTenSecondsAndEndsOneTickAfterShowingOne) {
    const CountdownRun run = RunCountdown(10);
    EXPECT_EQ(run.result, QDialog::Accepted);
    EXPECT_EQ(run.texts, Texts(10, 1));
    // Open for the number of seconds plus one.
    EXPECT_EQ(run.ticks, 11);
    EXPECT_FALSE(run.visible_at_end);
}

TEST(CTimerDialog, HiddenCountdownStillStarts) {
    bool hidden = false;
    const CountdownRun run = RunCountdown(3, [&](CTimerDialog& dialog) {
        Button(dialog, QStringLiteral("非表示"))->click();
        hidden = !dialog.isVisible();
    });
    EXPECT_TRUE(hidden);
    EXPECT_EQ(run.result, QDialog::Accepted);
    EXPECT_EQ(run.texts, Texts(3, 1));
    EXPECT_EQ(run.ticks, 4);
}

TEST(CTimerDialog, DoNotStartEscapeAndCloseBoxCancelStartNowAndEnterStart) {
    const std::vector<std::pair<std::function<void(CTimerDialog&)>, int>> cases = {
        {[](CTimerDialog& d) { Button(d, QStringLiteral("起動しない"))->click(); },
         QDialog::Rejected},
        {[](CTimerDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }, QDialog::Rejected},
        {[](CTimerDialog& d) { d.close(); }, QDialog::Rejected},
        {[](CTimerDialog& d) { Button(d, QStringLiteral("今すぐ起動"))->click(); },
         QDialog::Accepted},
        {[](CTimerDialog& d) { QTest::keyClick(&d, Qt::Key_Return); }, QDialog::Accepted},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        // A long countdown: each answer comes before it could run out.
        const CountdownRun run = RunCountdown(100000, cases[i].first);
        EXPECT_EQ(run.result, cases[i].second);
        EXPECT_LT(run.texts.size(), 100000);
    }
}

TEST(CTimerDialog, LayoutHoldsItsCaptionsAndTexts) {
    CTimerDialog dialog(10);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Quillomat 起動タイマー"));
    const QFontMetrics metrics(dialog.font());
    for (const QString& text :
         {QStringLiteral("今すぐ起動"), QStringLiteral("非表示"), QStringLiteral("起動しない")}) {
        QPushButton* button = Button(dialog, text);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->accessibleName().isEmpty() ? button->text() : button->accessibleName(),
                  text);
        EXPECT_LE(metrics.horizontalAdvance(text) + 8, button->width()) << text.toStdString();
        EXPECT_LE(metrics.height(), button->height());
        EXPECT_TRUE(dialog.rect().contains(button->geometry()));
    }
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("countdown"));
    EXPECT_TRUE(edit->isReadOnly());
    EXPECT_LE(metrics.horizontalAdvance(Texts(100, 100).front()) + 8, edit->width());
    EXPECT_TRUE(Button(dialog, QStringLiteral("今すぐ起動"))->isDefault());
    EXPECT_TRUE(edit->text().isEmpty());
}

}  // namespace

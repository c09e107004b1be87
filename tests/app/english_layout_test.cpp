// Every window and dialog in English: no text is wider than its control.
// Each control is measured with its own font and the style's own margins,
// so that the test holds with whatever fonts a machine has.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QStyleOptionGroupBox>
#include <QStyleOptionTab>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QTranslator>
#include <string>
#include <vector>

#include "app/about_dialog.h"
#include "app/main_dialog.h"
#include "app/timer_dialog.h"
#include "app/ui_language.h"
#include "capture/capture_fakes.h"
#include "capture/ui/device_property_dialogs.h"
#include "capture/ui/device_select_dialog.h"
#include "controls/image_button.h"
#include "diary/ui/diary_setup_dialog.h"
#include "diary/ui/snapshot_dialog.h"
#include "platform/clock.h"
#include "settings/ui/app_config_dialog.h"
#include "settings/ui/extra_setup_dialog.h"
#include "settings/ui/html_setup_dialog.h"
#include "settings/ui/time_text_setup_dialog.h"
#include "support/temp_dir.h"

namespace {

// The text as drawn: a single "&" marks the mnemonic and takes no room.
QString Drawn(const QString& text) {
    QString drawn = text;
    drawn.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    drawn.remove(QLatin1Char('&'));
    drawn.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return drawn;
}

class Fits {
public:
    // Every control of `window` that shows a text.
    void Window(QWidget& window) {
        window.ensurePolished();
        if (window.layout()) window.layout()->activate();
        const QString name = window.windowTitle();
        for (QWidget* w : window.findChildren<QWidget*>()) {
            // Dialogs owned by this window are walked on their own.
            if (w->window() != &window) continue;
            // Hidden controls and the pages behind the shown tab.
            if (!w->isVisibleTo(&window)) continue;
            w->ensurePolished();
            // Image buttons show icons; their captions are cleared before the
            // window is shown.
            if (dynamic_cast<CImageButton*>(w) != nullptr) continue;
            if (auto* label = qobject_cast<QLabel*>(w)) {
                Label(name, *label);
            } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
                CheckOrRadio(name, *box);
            } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
                CheckOrRadio(name, *radio);
            } else if (auto* button = qobject_cast<QPushButton*>(w)) {
                Button(name, *button);
            } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
                Group(name, *group);
            } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
                Tabs(name, *tabs);
            } else if (auto* edit = qobject_cast<QLineEdit*>(w); edit && edit->isReadOnly()) {
                Edit(name, *edit);
            }
        }
    }

    // Entries that do not fit go behind an extension button.
    void MenuBar(const QString& where, QMenuBar& bar) {
        bar.ensurePolished();
        for (QAction* action : bar.actions()) {
            const QRect at = bar.actionGeometry(action);
            Check(where, action->text(), at.isEmpty() ? bar.width() + 1 : at.right() + 1,
                  bar.width());
        }
    }

    // A text drawn by the window itself into `room` pixels.
    void Painted(const QString& where, const QFont& font, const QString& text, int room) {
        const QFontMetrics metrics(font);
        for (const QString& line : text.split(QLatin1Char('\n')))
            Check(where, line, metrics.horizontalAdvance(line), room);
    }

    const std::vector<std::string>& Cuts() const { return cuts_; }
    int Checked() const { return checked_; }

private:
    void Check(const QString& where, const QString& text, int needed, int available) {
        ++checked_;
        if (needed > available) {
            cuts_.push_back(QStringLiteral("%1: \"%2\" needs %3 px, has %4")
                                .arg(where, text)
                                .arg(needed)
                                .arg(available)
                                .toStdString());
        }
    }

    void Label(const QString& where, const QLabel& label) {
        if (label.text().isEmpty() || !label.pixmap().isNull()) return;
        const QString text = label.buddy() ? Drawn(label.text()) : label.text();
        const QFontMetrics metrics(label.font());
        const QRect room = label.contentsRect();
        if (label.wordWrap()) {
            Check(where, text, label.heightForWidth(label.width()), label.height());
            for (const QString& word : text.split(QRegularExpression(QStringLiteral("\\s+"))))
                Check(where, word, metrics.horizontalAdvance(word), room.width());
            return;
        }
        const QStringList lines = text.split(QLatin1Char('\n'));
        for (const QString& line : lines)
            Check(where, line, metrics.horizontalAdvance(line), room.width());
        Check(where, text, static_cast<int>(lines.size()) * metrics.height(), room.height());
    }

    void CheckOrRadio(const QString& where, QAbstractButton& box) {
        QStyleOptionButton option;
        option.initFrom(&box);
        option.text = box.text();
        const QStyle::SubElement contents = qobject_cast<QCheckBox*>(&box)
                                                ? QStyle::SE_CheckBoxContents
                                                : QStyle::SE_RadioButtonContents;
        const QRect room = box.style()->subElementRect(contents, &option, &box);
        Check(where, box.text(), box.fontMetrics().horizontalAdvance(Drawn(box.text())),
              room.width());
    }

    void Button(const QString& where, QPushButton& button) {
        if (button.text().isEmpty()) return;
        const QStyle* style = button.style();
        QStyleOptionButton option;
        option.initFrom(&button);
        // What the style adds to a text for its frame and margins.
        const int frame = style->pixelMetric(QStyle::PM_ButtonMargin, &option, &button) +
                          2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &button);
        Check(where, button.text(),
              button.fontMetrics().horizontalAdvance(Drawn(button.text())) + frame, button.width());
    }

    void Group(const QString& where, QGroupBox& group) {
        if (group.title().isEmpty()) return;
        QStyleOptionGroupBox option;
        option.initFrom(&group);
        option.text = group.title();
        option.lineWidth = 1;
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        option.textAlignment = group.alignment();
        const QRect label = group.style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                          QStyle::SC_GroupBoxLabel, &group);
        // The title keeps the indent it has on the left on the right too.
        Check(where, group.title(),
              label.left() + group.fontMetrics().horizontalAdvance(Drawn(group.title())) +
                  label.left(),
              group.width());
    }

    void Tabs(const QString& where, QTabBar& tabs) {
        for (int i = 0; i < tabs.count(); ++i) {
            // As QTabBar sizes a tab: its text with the style's spacing.
            QStyleOptionTab option;
            option.initFrom(&tabs);
            option.shape = tabs.shape();
            option.text = tabs.tabText(i);
            const QSize text =
                tabs.fontMetrics().size(Qt::TextShowMnemonic, option.text) +
                QSize(tabs.style()->pixelMetric(QStyle::PM_TabBarTabHSpace, &option, &tabs), 0);
            const QSize needed =
                tabs.style()->sizeFromContents(QStyle::CT_TabBarTab, &option, text, &tabs);
            const QRect at = tabs.tabRect(i);
            Check(where, option.text, needed.width(), at.width());
            Check(where, option.text, at.right() + 1, tabs.width());
        }
    }

    void Edit(const QString& where, const QLineEdit& edit) {
        if (edit.text().isEmpty()) return;
        QStyleOptionFrame option;
        option.initFrom(&edit);
        option.lineWidth = edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit);
        const QRect room =
            edit.style()->subElementRect(QStyle::SE_LineEditContents, &option, &edit);
        // A line edit keeps two pixels free at either side of its text.
        Check(where, edit.text(), edit.fontMetrics().horizontalAdvance(edit.text()) + 4,
              room.width());
    }

    std::vector<std::string> cuts_;
    int checked_ = 0;
};

// English for the test's life, as QUILLOMAT_LANGUAGE=en gives it.
class EnglishInterface : public ::testing::Test {
protected:
    EnglishInterface() {
        ::setenv("QUILLOMAT_LANGUAGE", "en", 1);
        translator_ = LoadInterfaceTranslations(*QApplication::instance());
        ::unsetenv("QUILLOMAT_LANGUAGE");
    }
    ~EnglishInterface() override {
        if (translator_ != nullptr) {
            QCoreApplication::removeTranslator(translator_);
            delete translator_;
        }
    }

    QTranslator* translator_ = nullptr;
};

TEST_F(EnglishInterface, NoTextOfAnyWindowOrDialogIsWiderThanItsControl) {
    ASSERT_NE(translator_, nullptr);
    TempDir home;
    ScopedTestDevices devices("Cam");
    Fits fits;

    MainDialogSeams seams{SystemClockInstance()};
    seams.app_directory = [&home] { return home.str(); };
    seams.system_devices = false;
    CMainDialog main(seams);
    ASSERT_EQ(main.Actions().exit->text(), QStringLiteral("E&xit"));
    fits.Window(main);
    fits.MenuBar(QStringLiteral("main window"), *main.MenuBar());

    for (QDialog* dialog : std::initializer_list<QDialog*>{
             &main.AppConfig(), &main.DiarySetup(), &main.HtmlSetup(), &main.TimeTextSetup()}) {
        fits.Window(*dialog);
    }
    // Each tab laid out as it is shown: a page behind another is never sized.
    CExtraSetupDialog& extra = main.ExtraSetup();
    extra.show();
    ASSERT_GE(extra.Tabs()->count(), 3);
    for (int i = 0; i < extra.Tabs()->count(); ++i) {
        extra.Tabs()->setCurrentIndex(i);
        QCoreApplication::processEvents();
        fits.Window(extra);
    }
    extra.hide();

    CAboutDialog about;
    fits.Painted(about.windowTitle(), about.font(), CAboutDialog::AboutText(), about.width());

    // The countdown's longest text, for the longest STARTUP_TIMER.
    CTimerDialog timer(180, nullptr, 5);
    auto* countdown = timer.findChild<QLineEdit*>(QStringLiteral("countdown"));
    QObject::connect(countdown, &QLineEdit::textChanged, &timer, [&] {
        fits.Window(timer);
        timer.reject();
    });
    timer.exec();
    EXPECT_EQ(timer.CountdownText(), QStringLiteral("Quillomat starts in 180 seconds"));

    CSnapshotDialog snapshot("20240315093005", "");
    fits.Window(snapshot);

    CDeviceSelectDialog select;
    select.show();
    QCoreApplication::processEvents();
    fits.Window(select);
    select.hide();

    CDeviceFormatDialog format({DeviceFormatOffer{640, 480, {333333}, true}}, {640, 480, 333333});
    format.show();
    QCoreApplication::processEvents();
    fits.Window(format);
    format.hide();

    EXPECT_TRUE(fits.Cuts().empty()) << ::testing::PrintToString(fits.Cuts());
    // The walk saw the dialogs' controls, not empty windows.
    EXPECT_GT(fits.Checked(), 150);
}

}  // namespace

#include "settings/ui/time_text_setup_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <deque>
#include <set>

#include "capture/capture_fakes.h"
#include "controls/spin_edit.h"
#include "engine/diary_engine.h"
#include "platform/cp932.h"
#include "settings/settings_io.h"
#include "settings/shared_settings.h"
#include "settings/ui/colour_swatch.h"
#include "settings/ui/time_text_setup_command.h"
#include "support/temp_dir.h"

namespace {

struct DialogFixture {
    DialogFixture()
        : dialog(TimeTextSetupServices{settings,
                                       prompts,
                                       [this](QWidget*) -> std::optional<std::uint32_t> {
                                           ++colour_dialogs;
                                           if (colours.empty()) return std::nullopt;
                                           const auto c = colours.front();
                                           colours.pop_front();
                                           return c;
                                       },
                                       {}}) {}

    SpinEdit* Spin(const char* id) { return dialog.findChild<SpinEdit*>(QString::fromUtf8(id)); }
    void Type(const char* id, const char* text) {
        Spin(id)->lineEdit()->setText(QString::fromUtf8(text));
    }
    QPushButton* Button(const char* id) {
        return dialog.findChild<QPushButton*>(QString::fromUtf8(id));
    }
    QCheckBox* Check(const char* id) { return dialog.findChild<QCheckBox*>(QString::fromUtf8(id)); }
    QLineEdit* Format() { return dialog.findChild<QLineEdit*>(QStringLiteral("1039")); }
    QComboBox* Fonts() { return dialog.findChild<QComboBox*>(QStringLiteral("1044")); }
    ColourSwatch* Swatch(const char* id) {
        return dialog.findChild<ColourSwatch*>(QString::fromUtf8(id));
    }
    std::vector<std::string> ComboNames() {
        std::vector<std::string> names;
        for (int i = 0; i < Fonts()->count(); ++i)
            names.push_back(Fonts()->itemText(i).toStdString());
        return names;
    }

    SharedSettings settings;
    RecordingPrompts prompts;
    std::deque<std::uint32_t> colours;
    int colour_dialogs = 0;
    CTimeTextSetupDialog dialog;
};

TEST(TimeTextSetupDialog, ShowsEveryControlWithItsLabelRangeAndTheSettings) {
    DialogFixture f;
    f.settings.Update([](DiarySettings& s) {
        s.TEXT_XPOS = 12;
        s.SHADOW_YPOS = -7;
        s.FONT_SIZE = 0;
        s.FONT_ITALIC = true;
        s.SHOW_SHADOW = false;
        s.TEXT_COLOR = 0x0000FF;  // red
    });
    f.dialog.show();
    EXPECT_EQ(f.dialog.windowTitle(), QStringLiteral("日時表示設定"));
    struct Spin {
        const char* id;
        const char* name;
        int min, max;
        const char* text;
    };
    for (const Spin& s :
         {Spin{"1003", "横", 0, 10000, "12"}, Spin{"1004", "縦", 0, 10000, "5"},
          Spin{"1043", "サイズ", 0, 1000, "0"}, Spin{"1005", "横", -1000, 1000, "1"},
          Spin{"1006", "縦", -1000, 1000, "-7"}}) {
        SpinEdit* spin = f.Spin(s.id);
        ASSERT_NE(spin, nullptr) << s.id;
        EXPECT_EQ(spin->accessibleName(), QString::fromUtf8(s.name)) << s.id;
        EXPECT_EQ(spin->Minimum(), s.min) << s.id;
        EXPECT_EQ(spin->Maximum(), s.max) << s.id;
        EXPECT_EQ(spin->lineEdit()->text(), QString::fromUtf8(s.text)) << s.id;
    }
    // The size's up-down control reaches 0, which OK then refuses.
    f.Spin("1043")->stepBy(-1);
    EXPECT_EQ(f.Spin("1043")->lineEdit()->text(), QStringLiteral("0"));
    f.Spin("1005")->stepBy(-5000);
    EXPECT_EQ(f.Spin("1005")->lineEdit()->text(), QStringLiteral("-1000"));

    struct Box {
        const char* id;
        const char* text;
        bool checked;
    };
    for (const Box& b :
         {Box{"1041", "キャプチャした画像に日時を表示する", true}, Box{"1051", "太文字", false},
          Box{"1052", "イタリック体", true}, Box{"1046", "影を表示する", false}}) {
        ASSERT_NE(f.Check(b.id), nullptr) << b.id;
        EXPECT_EQ(f.Check(b.id)->text(), QString::fromUtf8(b.text));
        EXPECT_EQ(f.Check(b.id)->accessibleName(), QString::fromUtf8(b.text));
        EXPECT_EQ(f.Check(b.id)->isChecked(), b.checked) << b.id;
    }
    EXPECT_EQ(f.Format()->text(), QStringLiteral("%Y/%M/%D(%w) %h:%m:%s"));
    EXPECT_EQ(f.Format()->accessibleName(), QStringLiteral("表示文字列"));
    EXPECT_EQ(f.Fonts()->accessibleName(), QStringLiteral("フォント設定"));
    EXPECT_EQ(f.Swatch("1049")->accessibleName(), QStringLiteral("文字色"));
    EXPECT_EQ(f.Swatch("1049")->Colour(), QColor(255, 0, 0));
    EXPECT_EQ(f.Swatch("1050")->accessibleName(), QStringLiteral("影の色"));
    EXPECT_EQ(f.Swatch("1050")->Colour(), QColor(0, 0, 0));
    for (const char* id : {"1000", "1001"}) EXPECT_EQ(f.Button(id)->text(), QStringLiteral("変更"));
    EXPECT_EQ(f.Button("1")->text(), QStringLiteral("OK"));
    EXPECT_TRUE(f.Button("1")->isDefault());
    EXPECT_EQ(f.Button("2")->text(), QStringLiteral("キャンセル"));

    std::vector<QString> texts;
    for (auto* label : f.dialog.findChildren<QLabel*>()) texts.push_back(label->text());
    for (const char* text :
         {"横", "縦", "サイズ", "文字色", "影の色",
          "%Y=年 %M=月 %D=日 %W=曜日(英語)\n%h=時 %m=分 %s=秒 %w=曜日(日本語)"}) {
        EXPECT_NE(std::find(texts.begin(), texts.end(), QString::fromUtf8(text)), texts.end())
            << text;
    }
    EXPECT_TRUE(f.prompts.messages().empty());
}

TEST(TimeTextSetupDialog, FontSizeZeroIsRefusedKeepingTheValuesCheckedBeforeIt) {
    DialogFixture f;
    f.dialog.show();
    f.Check("1041")->setChecked(false);
    f.Type("1003", "40");
    f.Type("1004", "50");
    f.Type("1043", "0");
    f.Check("1046")->setChecked(false);  // after the failing field
    f.Format()->setText(QStringLiteral("%h:%m"));
    f.Button("1")->click();
    EXPECT_TRUE(f.dialog.isVisible());
    EXPECT_EQ(f.prompts.messages(),
              std::vector<std::string>{"Please enter an integer between 1 and 1000."});
    EXPECT_EQ(f.dialog.focusWidget(), f.Spin("1043"));
    DiarySettings s = f.settings.Copy();
    EXPECT_FALSE(s.SHOW_TEXT);
    EXPECT_EQ(s.TEXT_XPOS, 40);
    EXPECT_EQ(s.TEXT_YPOS, 50);
    EXPECT_EQ(s.FONT_SIZE, 0);  // stored, then checked
    EXPECT_TRUE(s.SHOW_SHADOW);
    EXPECT_EQ(s.TIME_FORMAT, "%Y/%M/%D(%w) %h:%m:%s");

    for (const char* size : {"1", "1000"}) {
        f.Type("1043", size);
        f.Button("1")->click();
        EXPECT_FALSE(f.dialog.isVisible()) << size;
        EXPECT_EQ(f.dialog.result(), QDialog::Accepted);
        EXPECT_EQ(f.settings.Copy().FONT_SIZE, std::stoi(size));
        f.dialog.show();
    }
    f.Type("1043", "1001");
    f.Button("1")->click();
    f.Type("1043", "x");
    f.Button("1")->click();
    EXPECT_EQ(f.prompts.messages(), (std::vector<std::string>{
                                        "Please enter an integer between 1 and 1000.",
                                        "Please enter an integer between 1 and 1000.",
                                        "Please enter a positive integer.",
                                    }));
    s = f.settings.Copy();
    EXPECT_FALSE(s.SHOW_SHADOW);
    EXPECT_EQ(s.TIME_FORMAT, "%h:%m");
}

TEST(TimeTextSetupDialog, ShadowOffsetMinus3IsAcceptedTextPositionMinus3Refused) {
    DialogFixture f;
    f.dialog.show();
    f.Type("1005", "-3");
    f.Type("1006", "-3");
    f.Type("1004", "-3");
    f.Button("1")->click();
    EXPECT_TRUE(f.dialog.isVisible());
    EXPECT_EQ(f.prompts.messages(), std::vector<std::string>{"Please enter a positive integer."});
    EXPECT_EQ(f.dialog.focusWidget(), f.Spin("1004"));
    EXPECT_EQ(f.settings.Copy().TEXT_YPOS, 5);
    EXPECT_EQ(f.settings.Copy().SHADOW_XPOS, 1);  // not reached yet

    f.Type("1004", "10001");
    f.Button("1")->click();
    EXPECT_EQ(f.prompts.messages().back(), "Please enter an integer between 0 and 10000.");
    f.Type("1004", "10000");
    f.Type("1006", "-1001");
    f.Button("1")->click();
    EXPECT_EQ(f.prompts.messages().back(), "Please enter an integer between -1000 and 1000.");
    EXPECT_EQ(f.dialog.focusWidget(), f.Spin("1006"));
    f.Type("1006", "-3");
    f.Button("1")->click();
    EXPECT_FALSE(f.dialog.isVisible());
    const DiarySettings s = f.settings.Copy();
    EXPECT_EQ(s.TEXT_YPOS, 10000);
    EXPECT_EQ(s.SHADOW_XPOS, -3);
    EXPECT_EQ(s.SHADOW_YPOS, -3);
    EXPECT_EQ(f.prompts.messages().size(), 3u);
}

TEST(TimeTextSetupDialog, ChosenColourStaysAfterCancelAndACancelledChoiceChangesNothing) {
    DialogFixture f;
    f.dialog.show();
    f.colours = {0x00FF00};  // green text, by the button
    f.Button("1000")->click();
    EXPECT_EQ(f.settings.Copy().TEXT_COLOR, 0x00FF00u);
    EXPECT_EQ(f.Swatch("1049")->Colour(), QColor(0, 255, 0));

    f.colours = {0xFF0000};  // blue shadow, by a double click on its swatch
    QTest::mouseDClick(f.Swatch("1050"), Qt::LeftButton);
    EXPECT_EQ(f.settings.Copy().SHADOW_COLOR, 0xFF0000u);
    EXPECT_EQ(f.Swatch("1050")->Colour(), QColor(0, 0, 255));

    // The colour dialog cancelled, by a double click and by the button.
    QTest::mouseDClick(f.Swatch("1049"), Qt::LeftButton);
    f.Button("1001")->click();
    EXPECT_EQ(f.colour_dialogs, 4);
    f.Type("1003", "77");
    f.Button("2")->click();
    EXPECT_EQ(f.dialog.result(), QDialog::Rejected);
    DiarySettings s = f.settings.Copy();
    EXPECT_EQ(s.TEXT_COLOR, 0x00FF00u);
    EXPECT_EQ(s.SHADOW_COLOR, 0xFF0000u);
    EXPECT_EQ(s.TEXT_XPOS, 5);  // Cancel exchanges nothing

    // The next opening paints the swatches from the settings.
    f.settings.Update([](DiarySettings& d) { d.TEXT_COLOR = 0x123456; });
    f.dialog.show();
    EXPECT_EQ(f.Swatch("1049")->Colour(), QColor(0x56, 0x34, 0x12));
    EXPECT_EQ(ColorRefOfColour(ColourOfColorRef(0x123456)), 0x123456u);
}

// Families as a font system might report them, duplicates and unwanted ones
// included.
std::vector<FontFamily> Families(std::initializer_list<FontFamily> list) { return list; }

TEST(TimeTextSetupDialog, FontListGrowsWithoutDuplicatesInByteOrderAndSelectsThePrefix) {
    SharedSettings settings;
    RecordingPrompts prompts;
    std::vector<FontFamily> reported = Families({
        {"Noto Sans", true, false, true},
        {"IPAGothic", true, true, true},
        {"GreekOnly", true, false, false},
        {"Fixed", false, false, true},  // a bitmap face
        {"aardvark", true, false, true},
        {"Noto Sans", true, false, true},
        {"IPAゴシック", true, true, false},
    });
    CTimeTextSetupDialog dialog(
        TimeTextSetupServices{settings, prompts, {}, [&] { return reported; }});
    auto* box = dialog.findChild<QComboBox*>(QStringLiteral("1044"));
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("1"));
    settings.Update([](DiarySettings& s) { s.FONT_NAME = "noto"; });
    dialog.show();
    EXPECT_EQ(dialog.Fonts().Names(),
              (std::vector<std::string>{"IPAGothic", "IPAゴシック", "Noto Sans", "aardvark"}));
    // The combo box keeps its own order, case ignored.
    std::vector<std::string> shown;
    for (int i = 0; i < box->count(); ++i) shown.push_back(box->itemText(i).toStdString());
    EXPECT_EQ(shown,
              (std::vector<std::string>{"aardvark", "IPAGothic", "IPAゴシック", "Noto Sans"}));
    EXPECT_EQ(box->currentText(), QStringLiteral("Noto Sans"));

    // A later opening finds one face more and the old ones again.
    dialog.reject();
    reported.push_back({"Noto Sans Mono", true, false, true});
    settings.Update([](DiarySettings& s) { s.FONT_NAME = "ipa"; });
    dialog.show();
    EXPECT_EQ(dialog.Fonts().Names(),
              (std::vector<std::string>{"IPAGothic", "IPAゴシック", "Noto Sans", "Noto Sans Mono",
                                        "aardvark"}));
    EXPECT_EQ(box->count(), 5);
    EXPECT_EQ(box->currentText(), QStringLiteral("IPAGothic"));
    // OK takes the selected face whole.
    box->setCurrentIndex(box->findText(QStringLiteral("IPAゴシック")));
    ok->click();
    EXPECT_EQ(settings.Copy().FONT_NAME, "IPAゴシック");

    // A face that is not there: no selection, and OK keeps the stored name;
    // so does a name typed into the box that names no listed face.
    settings.Update([](DiarySettings& s) { s.FONT_NAME = "ＭＳ ゴシック"; });
    dialog.show();
    EXPECT_EQ(box->currentIndex(), -1);
    EXPECT_EQ(box->currentText(), QString());
    ok->click();
    EXPECT_EQ(settings.Copy().FONT_NAME, "ＭＳ ゴシック");
    dialog.show();
    box->setEditText(QStringLiteral("Typed Face"));
    ok->click();
    EXPECT_EQ(settings.Copy().FONT_NAME, "ＭＳ ゴシック");
    EXPECT_TRUE(prompts.messages().empty());
}

TEST(TimeTextSetupDialog, FontListOfThisMachineHasEachWantedFaceOnceInByteOrder) {
    SharedSettings settings;
    RecordingPrompts prompts;
    CTimeTextSetupDialog dialog(TimeTextSetupServices{settings, prompts, {}, {}});
    auto* box = dialog.findChild<QComboBox*>(QStringLiteral("1044"));
    std::vector<std::string> wanted;
    for (const FontFamily& f : SystemFontFamilies()) {
        if (FontList::Wanted(f)) wanted.push_back(f.name);
    }
    ASSERT_FALSE(wanted.empty()) << "no outline face for Japanese or Latin on this machine";
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());

    for (int opening = 0; opening < 2; ++opening) {
        // Name a face by a prefix of it, in other case: the first item that
        // begins with it is selected.
        const std::string face = wanted.back();
        const std::string prefix =
            QString::fromStdString(face.substr(0, 3)).toLower().toStdString();
        settings.Update([&](DiarySettings& s) { s.FONT_NAME = prefix; });
        dialog.show();
        const std::vector<std::string>& names = dialog.Fonts().Names();
        EXPECT_EQ(names, wanted) << "opening " << opening;
        EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
        std::set<QString> shown;
        int first_match = -1;
        for (int i = 0; i < box->count(); ++i) {
            shown.insert(box->itemText(i));
            if (first_match < 0 &&
                box->itemText(i).startsWith(QString::fromStdString(prefix), Qt::CaseInsensitive))
                first_match = i;
        }
        EXPECT_EQ(shown.size(), wanted.size()) << "opening " << opening;
        EXPECT_EQ(box->count(), static_cast<int>(wanted.size()));
        ASSERT_GE(first_match, 0);
        EXPECT_EQ(box->currentIndex(), first_match);
        dialog.reject();
    }
}

TEST(TimeTextSetupDialog, LongFormatAndCharactersCp932LacksKeepSetupIniWhole) {
    DialogFixture f;
    TempDir home;
    f.dialog.show();
    // 2,000 bytes, with characters CP932 has no code for (an emoji, a
    // Hangul syllable) and one it has.
    std::string format = std::string(1990, 'a') + "\xF0\x9F\x98\x80" + "\xED\x95\x9C" + "%h日";
    f.Format()->setText(QString::fromStdString(format));
    f.Button("1")->click();
    ASSERT_FALSE(f.dialog.isVisible());
    EXPECT_EQ(f.settings.Copy().TIME_FORMAT, format);  // in effect as typed until saved

    DiarySettings saved = f.settings.Copy();
    saved.INDEX_HTML_TITLE = "after";
    SaveSettingsTo(saved, home.path() / "device.ini", home.path() / "setup.ini");
    DiarySettings read;
    LoadSettingsFrom(read, home.path() / "device.ini", home.path() / "setup.ini", home.str());
    // Each character CP932 lacks became one "?"; the value is cut to 1023
    // bytes on reading, and every other key reads back as it was written.
    const std::string on_disk = std::string(1990, 'a') + "??%h日";
    EXPECT_EQ(read.TIME_FORMAT, on_disk.substr(0, 1023));
    read.TIME_FORMAT = saved.TIME_FORMAT;
    EXPECT_EQ(read, saved);
    EXPECT_TRUE(f.prompts.messages().empty());
}

// The main window's command, on a real engine whose worker runs meanwhile.
class NoWindow final : public CaptureWindow {
public:
    void PostTitle(const std::string&) override {}
    void PostPreviewSource(std::shared_ptr<PreviewSource>) override {}
};

TEST(TimeTextSetupCommand, RunsTheDialogWhileTheWorkerKeepsRunningAndSavesNothing) {
    ScopedTestDevices devices("Cam");
    TempDir home;
    ::setenv("QUILLOMAT_HOME", home.str().c_str(), 1);
    struct UnsetHome {
        ~UnsetHome() { ::unsetenv("QUILLOMAT_HOME"); }
    } unset_home;
    ScaledClock clock(10);
    RecordingPrompts prompts;
    AutomaticDeviceChooser chooser;
    NoWindow window;
    DiaryEngine engine(DiaryEngineSeams{clock, prompts, chooser, nullptr, window, nullptr,
                                        [&] { return home.str(); }, false});
    engine.LoadSettings();
    engine.Settings().Update([](DiarySettings& s) {
        s.SELECT = "Cam";
        s.WIDTH = 160;
        s.HEIGHT = 120;
    });
    engine.SaveSettings();
    ASSERT_TRUE(engine.BuildCaptureGraph(true, false));
    const std::string setup_before = ReadFileBytes(home.path() / "setup.ini");

    RecordingPrompts dialog_prompts;
    CTimeTextSetupDialog dialog(
        TimeTextSetupServices{engine.Settings(), dialog_prompts,
                              [](QWidget*) { return std::optional<std::uint32_t>(0xABCDEF); },
                              [] {
                                  return Families({{"IPAGothic", true, true, true}});
                              }});
    bool running_meanwhile = false;
    auto press = [&](const char* button, const char* x) {
        QTimer::singleShot(0, &dialog, [&, button, x] {
            running_meanwhile = engine.Graph().ready.load() && engine.Worker().IsRunning();
            dialog.findChild<SpinEdit*>(QStringLiteral("1003"))
                ->lineEdit()
                ->setText(QString::fromUtf8(x));
            dialog.findChild<QPushButton*>(QString::fromUtf8(button))->click();
        });
    };

    press("2", "33");
    RunTimeTextSetupCommand(dialog);
    EXPECT_TRUE(running_meanwhile);
    EXPECT_EQ(engine.Settings().Copy().TEXT_XPOS, 5);

    // OK after a colour: the worker's next copy has both, the files nothing.
    QTimer::singleShot(0, &dialog,
                       [&] { dialog.findChild<QPushButton*>(QStringLiteral("1001"))->click(); });
    press("1", "44");
    RunTimeTextSetupCommand(dialog);
    EXPECT_TRUE(running_meanwhile);
    EXPECT_TRUE(engine.Worker().IsRunning());
    const DiarySettings s = engine.Settings().Copy();
    EXPECT_EQ(s.TEXT_XPOS, 44);
    EXPECT_EQ(s.SHADOW_COLOR, 0xABCDEFu);
    EXPECT_EQ(s.FONT_NAME, "ＭＳ ゴシック");  // no listed face begins with it
    EXPECT_EQ(ReadFileBytes(home.path() / "setup.ini"), setup_before);
    EXPECT_TRUE(dialog_prompts.messages().empty());
}

}  // namespace

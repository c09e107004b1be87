#include "settings/ui/time_text_setup_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <deque>

#include "capture/capture_fakes.h"
#include "controls/spin_edit.h"
#include "settings/settings_io.h"
#include "settings/shared_settings.h"
#include "settings/ui/colour_swatch.h"
#include "support/temp_dir.h"

namespace {

using Names = std::vector<std::string>;

struct DialogFixture {
    // Without families the font system's are listed.
    explicit DialogFixture(std::function<std::vector<FontFamily>()> families = {})
        : dialog(TimeTextSetupServices{settings, prompts,
                                       [this](QWidget*) -> std::optional<std::uint32_t> {
                                           ++colour_dialogs;
                                           if (colours.empty()) return std::nullopt;
                                           const auto c = colours.front();
                                           colours.pop_front();
                                           return c;
                                       },
                                       std::move(families)}) {}

    template <class T = QWidget>
    T* Get(const char* id) {
        return dialog.findChild<T*>(QString::fromUtf8(id));
    }
    void Type(const char* id, const char* text) {
        Get<SpinEdit>(id)->lineEdit()->setText(QString::fromUtf8(text));
    }
    void Press(const char* id) { Get<QPushButton>(id)->click(); }
    void Open(const std::string& face) {
        settings.Update([&](DiarySettings& s) { s.FONT_NAME = face; });
        dialog.show();
    }
    QComboBox* Box() { return Get<QComboBox>("1044"); }
    Names Shown() {
        Names names;
        for (int i = 0; i < Box()->count(); ++i) names.push_back(Box()->itemText(i).toStdString());
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
        s.SHADOW_YPOS = -7;
        s.FONT_SIZE = 0;
        s.FONT_ITALIC = true;
        s.TEXT_COLOR = 0x0000FF;  // red
    });
    f.dialog.show();
    EXPECT_EQ(f.dialog.windowTitle(), QStringLiteral("日時表示設定"));
    struct Spin {
        const char *id, *name;
        int min, max;
        const char* text;
    };
    for (const Spin& s :
         {Spin{"1003", "横", 0, 10000, "5"}, Spin{"1004", "縦", 0, 10000, "5"},
          Spin{"1043", "サイズ", 0, 1000, "0"}, Spin{"1005", "横", -1000, 1000, "1"},
          Spin{"1006", "縦", -1000, 1000, "-7"}}) {
        auto* spin = f.Get<SpinEdit>(s.id);
        ASSERT_NE(spin, nullptr) << s.id;
        EXPECT_EQ(spin->accessibleName(), QString::fromUtf8(s.name)) << s.id;
        EXPECT_EQ(std::pair(spin->Minimum(), spin->Maximum()), std::pair(s.min, s.max)) << s.id;
        EXPECT_EQ(spin->lineEdit()->text(), QString::fromUtf8(s.text)) << s.id;
    }
    for (auto [id, text, on] : {std::tuple{"1041", "キャプチャした画像に日時を表示する", true},
                                {"1051", "太文字", false},
                                {"1052", "イタリック体", true},
                                {"1046", "影を表示する", true}}) {
        EXPECT_EQ(f.Get<QCheckBox>(id)->accessibleName(), QString::fromUtf8(text)) << id;
        EXPECT_EQ(f.Get<QCheckBox>(id)->isChecked(), on) << id;
    }
    EXPECT_EQ(f.Get<QLineEdit>("1039")->text(), QStringLiteral("%Y/%M/%D(%w) %h:%m:%s"));
    EXPECT_EQ(f.Get("1039")->accessibleName(), QStringLiteral("表示文字列"));
    EXPECT_EQ(f.Get<ColourSwatch>("1049")->accessibleName(), QStringLiteral("文字色"));
    EXPECT_EQ(f.Get<ColourSwatch>("1049")->Colour(), QColor(255, 0, 0));
    EXPECT_EQ(f.Get<ColourSwatch>("1050")->accessibleName(), QStringLiteral("影の色"));
    EXPECT_EQ(f.Get<QPushButton>("1001")->text(), QStringLiteral("変更"));
    EXPECT_TRUE(f.Get<QPushButton>("1")->isDefault());
    EXPECT_EQ(f.Get<QPushButton>("2")->text(), QStringLiteral("キャンセル"));
    std::vector<QString> texts;
    for (auto* label : f.dialog.findChildren<QLabel*>()) texts.push_back(label->text());
    for (const char* text :
         {"サイズ", "文字色", "影の色",
          "%Y=年 %M=月 %D=日 %W=曜日(英語)\n%h=時 %m=分 %s=秒 %w=曜日(日本語)"}) {
        EXPECT_NE(std::find(texts.begin(), texts.end(), QString::fromUtf8(text)), texts.end())
            << text;
    }
}

TEST(TimeTextSetupDialog, FontSizeZeroIsRefusedStoringNothing) {
    DialogFixture f;
    f.dialog.show();
    f.Get<QCheckBox>("1041")->setChecked(false);
    f.Type("1004", "50");
    f.Type("1043", "0");
    f.Get<QCheckBox>("1046")->setChecked(false);  // after the failing field
    f.Press("1");
    EXPECT_TRUE(f.dialog.isVisible());
    EXPECT_EQ(f.prompts.messages(), Names{"Please enter an integer between 1 and 1000."});
    EXPECT_EQ(f.dialog.focusWidget(), f.Get("1043"));
    // Neither the values checked before the failing field nor the rejected
    // size reach the settings.
    EXPECT_EQ(f.settings.Copy(), DiarySettings{});

    for (const char* size : {"1001", "x", "1", "1000"}) {
        f.dialog.show();
        f.Type("1043", size);
        f.Press("1");
    }
    EXPECT_EQ(f.prompts.messages(), (Names{"Please enter an integer between 1 and 1000.",
                                           "Please enter an integer between 1 and 1000.",
                                           "Please enter a positive integer."}));
    EXPECT_EQ(f.dialog.result(), QDialog::Accepted);
    const DiarySettings s = f.settings.Copy();
    EXPECT_EQ(std::tuple(s.SHOW_TEXT, s.TEXT_YPOS, s.FONT_SIZE, s.SHOW_SHADOW),
              std::tuple(false, 50, 1000, false));
}

TEST(TimeTextSetupDialog, ShadowOffsetMinus3IsAcceptedTextPositionMinus3Refused) {
    DialogFixture f;
    f.dialog.show();
    f.Type("1005", "-3");
    f.Type("1006", "-3");
    f.Type("1004", "-3");
    f.Press("1");
    EXPECT_EQ(f.dialog.focusWidget(), f.Get("1004"));
    f.Type("1004", "10000");
    f.Type("1006", "-1001");
    f.Press("1");
    EXPECT_EQ(f.dialog.focusWidget(), f.Get("1006"));
    EXPECT_EQ(f.prompts.messages(), (Names{"Please enter a positive integer.",
                                           "Please enter an integer between -1000 and 1000."}));
    f.Type("1006", "-3");
    f.Press("1");
    EXPECT_FALSE(f.dialog.isVisible());
    const DiarySettings s = f.settings.Copy();
    EXPECT_EQ(std::tuple(s.TEXT_YPOS, s.SHADOW_XPOS, s.SHADOW_YPOS), std::tuple(10000, -3, -3));
}

TEST(TimeTextSetupDialog, ChosenColourIsInEffectAtOnceAndCancelRestoresTheOpeningColours) {
    DialogFixture f;
    f.dialog.show();
    f.colours = {0x00FF00, 0xFF0000};
    f.Press("1000");                                    // green text
    QTest::mouseDClick(f.Get("1050"), Qt::LeftButton);  // blue shadow
    QTest::mouseDClick(f.Get("1049"), Qt::LeftButton);  // cancelled
    f.Press("1001");                                    // cancelled
    EXPECT_EQ(f.colour_dialogs, 4);
    EXPECT_EQ(f.Get<ColourSwatch>("1049")->Colour(), QColor(0, 255, 0));
    EXPECT_EQ(f.Get<ColourSwatch>("1050")->Colour(), QColor(0, 0, 255));
    // The next store draws with them already.
    DiarySettings s = f.settings.Copy();
    EXPECT_EQ(std::tuple(s.TEXT_COLOR, s.SHADOW_COLOR), std::tuple(0x00FF00u, 0xFF0000u));
    // A refused OK, then Cancel: the colours the dialog opened with, and
    // nothing else changed.
    f.Type("1003", "77");
    f.Type("1043", "0");
    f.Press("1");
    EXPECT_TRUE(f.dialog.isVisible());
    f.Press("2");
    EXPECT_EQ(f.settings.Copy(), DiarySettings{});

    f.settings.Update([](DiarySettings& d) { d.TEXT_COLOR = 0x123456; });
    f.dialog.show();
    EXPECT_EQ(f.Get<ColourSwatch>("1049")->Colour(), QColor(0x56, 0x34, 0x12));
    f.colours = {0x0000FF};
    f.Press("1000");  // red text, kept by OK
    f.Press("1");
    s = f.settings.Copy();
    EXPECT_EQ(std::tuple(s.TEXT_COLOR, s.SHADOW_COLOR), std::tuple(0x0000FFu, 0u));
}

TEST(TimeTextSetupDialog, FontListGrowsWithoutDuplicatesInByteOrderAndSelectsThePrefix) {
    std::vector<FontFamily> reported = {
        {"Noto Sans", true, false, true},   {"IPAGothic", true, true, true},
        {"GreekOnly", true, false, false},  {"Fixed", false, false, true},  // a bitmap face
        {"aardvark", true, false, true},    {"Noto Sans", true, false, true},
        {"IPAゴシック", true, true, false},
    };
    DialogFixture f([&] { return reported; });
    f.Open("noto");
    EXPECT_EQ(f.dialog.Fonts().Names(),
              (Names{"IPAGothic", "IPAゴシック", "Noto Sans", "aardvark"}));
    // The combo box keeps its own order, case ignored.
    EXPECT_EQ(f.Shown(), (Names{"aardvark", "IPAGothic", "IPAゴシック", "Noto Sans"}));
    EXPECT_EQ(f.Box()->currentText(), QStringLiteral("Noto Sans"));

    f.dialog.reject();
    reported.push_back({"Noto Sans Mono", true, false, true});
    f.Open("ipa");
    EXPECT_EQ(f.dialog.Fonts().Names(),
              (Names{"IPAGothic", "IPAゴシック", "Noto Sans", "Noto Sans Mono", "aardvark"}));
    EXPECT_EQ(f.Box()->count(), 5);
    EXPECT_EQ(f.Box()->currentText(), QStringLiteral("IPAGothic"));
    f.Box()->setCurrentIndex(f.Box()->findText(QStringLiteral("IPAゴシック")));
    f.Press("1");
    EXPECT_EQ(f.settings.Copy().FONT_NAME, "IPAゴシック");
    f.Open("");  // every name begins with an empty one
    EXPECT_EQ(f.Box()->currentText(), QStringLiteral("aardvark"));
    f.dialog.reject();

    // A face that is not there leaves no selection and the stored name; so
    // does a typed name.
    f.Open("ＭＳ ゴシック");
    EXPECT_EQ(f.Box()->currentIndex(), -1);
    f.Press("1");
    f.dialog.show();
    f.Box()->setEditText(QStringLiteral("Typed Face"));
    f.Press("1");
    EXPECT_EQ(f.settings.Copy().FONT_NAME, "ＭＳ ゴシック");
}

TEST(TimeTextSetupDialog, FontListOfThisMachineHasEachWantedFaceOnceInByteOrder) {
    DialogFixture f;
    Names wanted;
    for (const FontFamily& family : SystemFontFamilies()) {
        if (FontList::Wanted(family)) wanted.push_back(family.name);
    }
    ASSERT_FALSE(wanted.empty()) << "no outline face for Japanese or Latin here";
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    // A prefix of a face in other case selects the first item it begins.
    const QString prefix = QString::fromStdString(wanted.back()).left(3).toLower();
    for (int opening = 0; opening < 2; ++opening) {
        f.Open(prefix.toStdString());
        EXPECT_EQ(f.dialog.Fonts().Names(), wanted) << opening;
        Names shown = f.Shown();
        const auto first = std::find_if(shown.begin(), shown.end(), [&](const std::string& n) {
            return QString::fromStdString(n).startsWith(prefix, Qt::CaseInsensitive);
        });
        ASSERT_NE(first, shown.end());
        EXPECT_EQ(f.Box()->currentIndex(), first - shown.begin());
        std::sort(shown.begin(), shown.end());
        EXPECT_EQ(shown, wanted) << opening;
        f.dialog.reject();
    }
}

TEST(TimeTextSetupDialog, LongFormatAndCharactersCp932LacksKeepSetupIniWhole) {
    DialogFixture f;
    TempDir home;
    f.dialog.show();
    // 2,000 bytes with an emoji and a Hangul syllable, which CP932 lacks.
    const std::string format = std::string(1990, 'a') + "\xF0\x9F\x98\x80\xED\x95\x9C%h日";
    f.Get<QLineEdit>("1039")->setText(QString::fromStdString(format));
    f.Press("1");
    ASSERT_FALSE(f.dialog.isVisible());
    EXPECT_EQ(f.settings.Copy().TIME_FORMAT, format);  // used as typed until saved

    DiarySettings saved = f.settings.Copy(), read;
    saved.INDEX_HTML_TITLE = "after";
    SaveSettingsTo(saved, home.path() / "device.ini", home.path() / "setup.ini");
    LoadSettingsFrom(read, home.path() / "device.ini", home.path() / "setup.ini", home.str());
    // Each lacking character is one "?" on disk, the value is cut to 1023
    // bytes on reading, and every other key reads back as written.
    EXPECT_EQ(read.TIME_FORMAT, (std::string(1990, 'a') + "??%h日").substr(0, 1023));
    read.TIME_FORMAT = saved.TIME_FORMAT;
    saved.settings_folder = home.str();
    EXPECT_EQ(read, saved);
}

}  // namespace

#include "settings/ui/html_setup_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <optional>

#include "capture/capture_fakes.h"
#include "capture/device_names.h"
#include "controls/spin_edit.h"
#include "platform/cp932.h"
#include "settings/settings_io.h"
#include "settings/shared_settings.h"
#include "support/temp_dir.h"

namespace {

struct HtmlFixture {
    HtmlFixture() : dialog(HtmlSetupServices{settings, prompts, [this] { return home.str(); }}) {}

    QWidget* Widget(const char* id) { return dialog.findChild<QWidget*>(QString::fromUtf8(id)); }
    SpinEdit* Spin(const char* id) { return dialog.findChild<SpinEdit*>(QString::fromUtf8(id)); }
    QLineEdit* Edit(const char* id) {
        auto* edit = qobject_cast<QLineEdit*>(Widget(id));
        return edit ? edit : Spin(id)->lineEdit();
    }
    void Type(const char* id, const std::string& text) {
        Edit(id)->setText(QString::fromStdString(text));
    }
    QString Shown(const char* id) { return Edit(id)->text(); }
    void Press(const char* id) { static_cast<QAbstractButton*>(Widget(id))->click(); }
    // OK, expecting it refused with `prompt`.
    void Refused(const char* prompt) {
        const std::size_t before = prompts.messages().size();
        Press("1");
        EXPECT_TRUE(dialog.isVisible()) << prompt;
        ASSERT_EQ(prompts.messages().size(), before + 1) << prompt;
        EXPECT_EQ(prompts.messages().back(), prompt);
    }
    DiarySettings Now() const { return settings.Copy(); }

    TempDir home;
    SharedSettings settings;
    RecordingPrompts prompts;
    CHtmlSetupDialog dialog;
};

TEST(HtmlSetupDialog, ShowsItsControlsAndStoredValuesAndTakesTypedRefreshUpTo30000) {
    HtmlFixture f;
    f.settings.Update([](DiarySettings& s) {
        s.PREVIEW_AUTO_REFLESH_SECOND = 25000;  // typed earlier, beyond the spin
        s.INDEX_CALENDAR_ROW = 0;               // edited by hand
        s.TOP_CODE = "<p>\nline two";
    });
    f.dialog.show();
    EXPECT_EQ(f.dialog.windowTitle(), QStringLiteral("HTML設定"));
    for (auto [id, name] : std::initializer_list<std::pair<const char*, const char*>>{
             {"1057", "日別画像HTMLを自動作成する"},
             {"1004", "HTMLファイル名"},
             {"1056", "新しい画像から順に表示する"},
             {"1045", "画像サイズ"},
             {"1058", "WEBページが自動更新するようにする"},
             {"1049", "更新間隔"},
             {"1061", "インデックスHTMLを自動作成する"},
             {"1005", "HTMLファイル名"},
             {"1060", "最新画像を表示する"},
             {"1051", "画像サイズ"},
             {"1053", "表示枚数"},
             {"1062", "WEBページが自動更新するようにする"},
             {"1055", "更新間隔"},
             {"1064", "カレンダーを表示する"},
             {"1071", "新しい月から表示する"},
             {"1065", "最大"},
             {"1067", "列数"},
             {"1069", "フォントサイズ"},
             {"1003", "タイトル"},
             {"1009", "上部追加HTMLコード"},
             {"1010", "下部追加HTMLコード"},
             {"1002", "リセット"},
             {"1008", "デフォルト"},
             {"1007", "リセット"},
             {"1006", "デフォルト"},
             {"1", "OK"},
             {"2", "キャンセル"}}) {
        QWidget* w = f.Widget(id);
        ASSERT_NE(w, nullptr) << id;
        EXPECT_EQ(w->accessibleName(), QString::fromUtf8(name)) << id;
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_EQ(b->text(), w->accessibleName()) << id;
        }
    }
    QStringList texts;
    for (auto* l : f.dialog.findChildren<QLabel*>()) texts << l->text();
    for (auto* g : f.dialog.findChildren<QGroupBox*>()) texts << g->title();
    for (const char* t : {"日別画像HTMLの自動作成", "インデックスHTMLの自動作成", "カレンダー",
                          "インデックスHTMLの修正", "%", "秒", "ヶ月分", "上部追加HTMLコード"})
        EXPECT_TRUE(texts.contains(QString::fromUtf8(t))) << t;
    for (auto [id, min, max] :
         std::initializer_list<std::tuple<const char*, int, int>>{{"1045", 1, 100},
                                                                  {"1049", 0, 10000},
                                                                  {"1051", 1, 100},
                                                                  {"1053", 0, 100},
                                                                  {"1055", 0, 10000},
                                                                  {"1065", 1, 100},
                                                                  {"1067", 1, 100},
                                                                  {"1069", 1, 100}}) {
        EXPECT_EQ(f.Spin(id)->Minimum(), min) << id;
        EXPECT_EQ(f.Spin(id)->Maximum(), max) << id;
    }
    // The fields show the variables, not the spins' clamped positions.
    EXPECT_EQ(f.Shown("1049"), QStringLiteral("25000"));
    EXPECT_EQ(f.Shown("1067"), QStringLiteral("0"));
    EXPECT_EQ(f.Shown("1003"), QStringLiteral("保存履歴"));
    EXPECT_EQ(f.dialog.findChild<QPlainTextEdit*>("1009")->toPlainText(), "<p>\nline two");

    // The refresh spins stop at 10000; typing reaches 30000.
    f.Type("1049", "9995");
    f.Spin("1049")->stepBy(10);
    EXPECT_EQ(f.Shown("1049"), QStringLiteral("10000"));
    f.Type("1049", "30000");
    f.Type("1055", "30000");
    f.Refused("Please enter an integer between 1 and 100.");  // the column count of 0
    EXPECT_EQ(f.dialog.focusWidget(), f.Spin("1067"));
    f.Type("1067", "3");
    f.Press("1");
    EXPECT_FALSE(f.dialog.isVisible());
    EXPECT_EQ(f.Now().PREVIEW_AUTO_REFLESH_SECOND, 30000);
    EXPECT_EQ(f.Now().INDEX_AUTO_REFLESH_SECOND, 30000);

    f.dialog.show();  // and they come back whole
    EXPECT_EQ(f.Shown("1049"), QStringLiteral("30000"));
    f.Type("1055", "30001");
    f.Refused("Please enter an integer between 0 and 30000.");
}

TEST(HtmlSetupDialog, ChecksStopAtTheFirstFailureStoringNothingAndButtonsStillChange) {
    HtmlFixture f;
    f.dialog.show();
    f.Type("1004", "day.html");
    f.Type("1045", " 7 ");
    f.Type("1049", "-5");
    f.Type("1051", "abc");
    f.Type("1067", "0");
    f.Type("1003", "新しい題");
    f.Refused("Please enter a positive integer.");
    EXPECT_EQ(f.dialog.focusWidget(), f.Spin("1049"));
    EXPECT_EQ(f.dialog.Edited().PREVIEW_HTML, "day.html");
    EXPECT_EQ(f.dialog.Edited().PREVIEW_IMAGE_SIZE, 7);
    EXPECT_EQ(f.dialog.Edited().PREVIEW_AUTO_REFLESH_SECOND, 60);
    f.Type("1049", "120");
    f.Refused("Please enter an integer.");
    EXPECT_EQ(f.dialog.Edited().INDEX_IMAGE_SIZE, 50);
    for (const char* bad : {"", "60%", "1e3"}) {
        f.Type("1051", bad);
        f.Refused("Please enter an integer.");
    }
    f.Type("1051", "99999999999");  // saturates at 32 bits
    f.Refused("Please enter an integer between 1 and 100.");
    f.Type("1051", "60");
    f.Refused("Please enter an integer between 1 and 100.");
    EXPECT_EQ(f.dialog.focusWidget(), f.Spin("1067"));
    EXPECT_EQ(f.dialog.Edited().INDEX_IMAGE_SIZE, 60);
    EXPECT_EQ(f.dialog.Edited().INDEX_HTML_TITLE, "保存履歴");  // after the failing field
    // Only an OK that passes every check stores anything.
    EXPECT_EQ(f.Now(), DiarySettings{});

    // A button whose take-over fails still makes its own change, in the dialog.
    f.Press("1008");
    EXPECT_EQ(f.prompts.messages().back(), "Please enter an integer between 1 and 100.");
    EXPECT_EQ(f.Shown("1004"), QStringLiteral("preview.html"));
    EXPECT_EQ(f.Shown("1045"), QStringLiteral("50"));
    EXPECT_EQ(f.Now(), DiarySettings{});
    f.Type("1067", "4");
    f.Type("1003", "新しい題");
    f.Press("1");
    EXPECT_FALSE(f.dialog.isVisible());
    EXPECT_EQ(f.Now().INDEX_CALENDAR_ROW, 4);
    EXPECT_EQ(f.Now().INDEX_HTML_TITLE, "新しい題");
    EXPECT_EQ(f.Now().INDEX_IMAGE_SIZE, 60);
    EXPECT_EQ(f.Now().PREVIEW_HTML, "preview.html");
}

TEST(HtmlSetupDialog, ResetReadsItsKeysBackFromSetupIniDefaultSetsThemAndCancelUndoesBoth) {
    HtmlFixture f;
    WriteFileBytes(f.home.path() / "setup.ini",
                   Utf8ToCp932("[HTML]\r\nPREVIEW_HTML=日記.html\r\nPREVIEW_SORT=ON\r\n"
                               "PREVIEW_IMAGE_SIZE=33\r\nINDEX_HTML=index.html\r\n"
                               "INDEX_IMAGE_MAX=9\r\nINDEX_CALENDAR=off\r\n"
                               "INDEX_HTML_TITLE=file title\r\nTOP_CODE=file top\r\n"
                               "BOTTOM_CODE=file bottom\r\n"));
    f.settings.Update([](DiarySettings& s) {
        s.PREVIEW_CREATE = false;
        s.INDEX_CREATE = false;
        s.INDEX_IMAGE_SIZE = 20;
        s.TOP_CODE = "mem top";
    });
    const DiarySettings opened = f.Now();
    f.dialog.show();
    f.Type("1003", "typed title");
    f.Type("1051", "77");

    // The day keys from the file (an absent one takes its default), after
    // every control was taken over.
    f.Press("1002");
    DiarySettings s = f.dialog.Edited();
    EXPECT_TRUE(s.PREVIEW_CREATE);
    EXPECT_EQ(s.PREVIEW_HTML, "日記.html");
    EXPECT_FALSE(s.PREVIEW_SORT);  // only "on" is on
    EXPECT_EQ(s.PREVIEW_IMAGE_SIZE, 33);
    EXPECT_EQ(s.INDEX_IMAGE_SIZE, 77);
    EXPECT_FALSE(s.INDEX_CREATE);
    EXPECT_EQ(s.INDEX_HTML_TITLE, "typed title");
    EXPECT_EQ(f.Shown("1004"), QStringLiteral("日記.html"));

    // The index keys, never the title or the codes.
    f.Press("1007");
    s = f.dialog.Edited();
    EXPECT_TRUE(s.INDEX_CREATE);
    EXPECT_EQ(s.INDEX_HTML, "index.html");
    EXPECT_EQ(s.INDEX_IMAGE_SIZE, 50);
    EXPECT_EQ(s.INDEX_IMAGE_MAX, 9);
    EXPECT_FALSE(s.INDEX_CALENDAR);
    EXPECT_EQ(s.INDEX_HTML_TITLE, "typed title");
    EXPECT_EQ(s.TOP_CODE, "mem top");
    EXPECT_EQ(s.BOTTOM_CODE, DiarySettings{}.BOTTOM_CODE);
    EXPECT_EQ(s.PREVIEW_HTML, "日記.html");

    // The index defaults with the title edited: the edit survives.
    f.Type("1003", "second title");
    f.Press("1006");
    f.Press("1008");
    DiarySettings expected;
    expected.INDEX_HTML_TITLE = "second title";
    expected.TOP_CODE = "mem top";
    EXPECT_EQ(f.dialog.Edited(), expected);
    EXPECT_EQ(f.Shown("1003"), QStringLiteral("second title"));
    EXPECT_EQ(f.Shown("1053"), QStringLiteral("5"));
    // Cancel undoes what the buttons did; none of it reached the settings.
    EXPECT_EQ(f.Now(), opened);
    f.Type("1045", "99");
    f.Press("2");
    EXPECT_EQ(f.Now(), opened);
    EXPECT_TRUE(f.prompts.messages().empty());

    // The next opening starts from the settings; OK after a button stores.
    f.dialog.show();
    EXPECT_EQ(f.Shown("1051"), QStringLiteral("20"));
    f.Press("1006");
    f.Press("1");
    EXPECT_EQ(f.Now().INDEX_IMAGE_SIZE, 50);
    EXPECT_TRUE(f.Now().INDEX_CREATE);
    EXPECT_FALSE(f.Now().PREVIEW_CREATE);
}

TEST(HtmlSetupDialog, LongAndForeignTextsAndSeveralLinesKeepSetupIniIntact) {
    HtmlFixture f;
    f.dialog.show();
    // 2,000 bytes in CP932, after a character it lacks (as 한 is).
    const std::string title = "😀題名" + std::string(1996, 'x');
    const std::string top = "<div>\n  한 C:\\new\\n\n</div>";
    f.Type("1003", title);
    f.dialog.findChild<QPlainTextEdit*>("1009")->setPlainText(QString::fromStdString(top));
    f.Press("1");
    ASSERT_FALSE(f.dialog.isVisible());
    EXPECT_EQ(f.Now().TOP_CODE, top);

    const auto device_ini = f.home.path() / "device.ini", setup_ini = f.home.path() / "setup.ini";
    SaveSettingsTo(f.Now(), device_ini, setup_ini);
    EXPECT_NE(ReadFileBytes(setup_ini).find("\r\nTOP_CODE=<div>\\n  ? C:\\\\new\\\\n\\n</div>\r\n"),
              std::string::npos);
    DiarySettings read;
    LoadSettingsFrom(read, device_ini, setup_ini, f.home.str());
    EXPECT_EQ(read.TOP_CODE, "<div>\n  ? C:\\new\\n\n</div>");
    EXPECT_EQ(read.INDEX_HTML_TITLE, "?題名" + std::string(1018, 'x'));  // 1023 bytes
    EXPECT_EQ(read.BOTTOM_CODE, f.Now().BOTTOM_CODE);
    EXPECT_EQ(read.TIME_FORMAT, f.Now().TIME_FORMAT);
}

}  // namespace

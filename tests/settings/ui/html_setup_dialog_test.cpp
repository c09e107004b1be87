#include "settings/ui/html_setup_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <optional>

#include "capture/capture_fakes.h"
#include "capture/device_names.h"
#include "controls/spin_edit.h"
#include "engine/diary_engine.h"
#include "platform/cp932.h"
#include "settings/settings_io.h"
#include "settings/shared_settings.h"
#include "settings/ui/html_setup_command.h"
#include "support/temp_dir.h"

namespace {

struct HtmlFixture {
    HtmlFixture() : dialog(HtmlSetupServices{settings, prompts, [this] { return home.str(); }}) {}

    template <class T>
    T* Find(const char* id) {
        T* widget = dialog.findChild<T*>(QString::fromUtf8(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }
    SpinEdit* Spin(const char* id) { return Find<SpinEdit>(id); }
    QLineEdit* Edit(const char* id) { return Find<QLineEdit>(id); }
    QCheckBox* Check(const char* id) { return Find<QCheckBox>(id); }
    QPlainTextEdit* Code(const char* id) { return Find<QPlainTextEdit>(id); }
    void Type(const char* id, const std::string& text) {
        QLineEdit* edit = dialog.findChild<QLineEdit*>(QString::fromUtf8(id));
        if (edit == nullptr) edit = Spin(id)->lineEdit();
        edit->setText(QString::fromStdString(text));
    }
    QString Shown(const char* id) {
        QLineEdit* edit = dialog.findChild<QLineEdit*>(QString::fromUtf8(id));
        return edit ? edit->text() : Spin(id)->lineEdit()->text();
    }
    void Press(const char* id) { Find<QPushButton>(id)->click(); }
    DiarySettings Now() const { return settings.Copy(); }

    TempDir home;
    SharedSettings settings;
    RecordingPrompts prompts;
    CHtmlSetupDialog dialog;
};

TEST(HtmlSetupDialog, ShowsEveryControlWithItsLabelRangeAndTheStoredValues) {
    HtmlFixture f;
    // A refresh interval typed earlier beyond the spin's end, and a
    // hand-edited column count outside the range.
    f.settings.Update([](DiarySettings& s) {
        s.PREVIEW_AUTO_REFLESH_SECOND = 25000;
        s.INDEX_CALENDAR_ROW = 0;
        s.TOP_CODE = "<p>\nline two";
    });
    f.dialog.show();
    EXPECT_EQ(f.dialog.windowTitle(), QStringLiteral("HTML設定"));
    struct Spin {
        const char* id;
        const char* name;
        int min, max;
    };
    for (const Spin& s : {Spin{"1045", "画像サイズ", 1, 100}, Spin{"1049", "更新間隔", 0, 10000},
                          Spin{"1051", "画像サイズ", 1, 100}, Spin{"1053", "表示枚数", 0, 100},
                          Spin{"1055", "更新間隔", 0, 10000}, Spin{"1065", "最大", 1, 100},
                          Spin{"1067", "列数", 1, 100}, Spin{"1069", "フォントサイズ", 1, 100}}) {
        SpinEdit* spin = f.Spin(s.id);
        ASSERT_NE(spin, nullptr);
        EXPECT_EQ(spin->accessibleName(), QString::fromUtf8(s.name)) << s.id;
        EXPECT_EQ(spin->Minimum(), s.min) << s.id;
        EXPECT_EQ(spin->Maximum(), s.max) << s.id;
    }
    for (auto [id, text] : std::initializer_list<std::pair<const char*, const char*>>{
             {"1057", "日別画像HTMLを自動作成する"},
             {"1056", "新しい画像から順に表示する"},
             {"1058", "WEBページが自動更新するようにする"},
             {"1061", "インデックスHTMLを自動作成する"},
             {"1060", "最新画像を表示する"},
             {"1062", "WEBページが自動更新するようにする"},
             {"1064", "カレンダーを表示する"},
             {"1071", "新しい月から表示する"}}) {
        EXPECT_EQ(f.Check(id)->text(), QString::fromUtf8(text));
        EXPECT_EQ(f.Check(id)->accessibleName(), QString::fromUtf8(text));
    }
    EXPECT_EQ(f.Edit("1004")->accessibleName(), QStringLiteral("HTMLファイル名"));
    EXPECT_EQ(f.Edit("1005")->accessibleName(), QStringLiteral("HTMLファイル名"));
    EXPECT_EQ(f.Edit("1003")->accessibleName(), QStringLiteral("タイトル"));
    EXPECT_EQ(f.Code("1009")->accessibleName(), QStringLiteral("上部追加HTMLコード"));
    EXPECT_EQ(f.Code("1010")->accessibleName(), QStringLiteral("下部追加HTMLコード"));
    for (auto [id, text] :
         std::initializer_list<std::pair<const char*, const char*>>{{"1002", "リセット"},
                                                                    {"1008", "デフォルト"},
                                                                    {"1007", "リセット"},
                                                                    {"1006", "デフォルト"},
                                                                    {"1", "OK"},
                                                                    {"2", "キャンセル"}}) {
        EXPECT_EQ(f.Find<QPushButton>(id)->text(), QString::fromUtf8(text));
        EXPECT_EQ(f.Find<QPushButton>(id)->accessibleName(), QString::fromUtf8(text));
    }
    std::vector<QString> texts;
    for (auto* label : f.dialog.findChildren<QLabel*>()) texts.push_back(label->text());
    for (auto* box : f.dialog.findChildren<QGroupBox*>()) texts.push_back(box->title());
    for (const char* text :
         {"日別画像HTMLの自動作成", "インデックスHTMLの自動作成", "カレンダー",
          "インデックスHTMLの修正", "HTMLファイル名", "画像サイズ", "%", "更新間隔", "秒",
          "表示枚数", "最大", "ヶ月分", "列数", "フォントサイズ", "タイトル", "上部追加HTMLコード",
          "下部追加HTMLコード"}) {
        EXPECT_NE(std::find(texts.begin(), texts.end(), QString::fromUtf8(text)), texts.end())
            << text;
    }

    // The fields show the variables, not the spins' clamped positions.
    EXPECT_EQ(f.Shown("1049"), QStringLiteral("25000"));
    EXPECT_EQ(f.Shown("1067"), QStringLiteral("0"));
    EXPECT_EQ(f.Shown("1045"), QStringLiteral("50"));
    EXPECT_EQ(f.Code("1009")->toPlainText(), QStringLiteral("<p>\nline two"));
    EXPECT_EQ(f.Shown("1003"), QStringLiteral("保存履歴"));
    EXPECT_TRUE(f.Check("1057")->isChecked());
    // The refresh spins stop at 10000 ...
    f.Type("1049", "9995");
    f.Spin("1049")->stepBy(10);
    EXPECT_EQ(f.Shown("1049"), QStringLiteral("10000"));
    f.Spin("1055")->stepBy(20000);
    EXPECT_EQ(f.Shown("1055"), QStringLiteral("10000"));
    // ... while typing reaches 30000; the column count of 0 is refused.
    f.Type("1049", "30000");
    f.Type("1055", "30000");
    f.Press("1");
    EXPECT_TRUE(f.dialog.isVisible());
    EXPECT_EQ(f.prompts.messages(),
              std::vector<std::string>{"Please enter an integer between 1 and 100."});
    EXPECT_EQ(f.dialog.focusWidget(), f.Spin("1067"));
    f.Type("1067", "3");
    f.Press("1");
    EXPECT_FALSE(f.dialog.isVisible());
    EXPECT_EQ(f.prompts.messages().size(), 1u);
    EXPECT_EQ(f.Now().PREVIEW_AUTO_REFLESH_SECOND, 30000);
    EXPECT_EQ(f.Now().INDEX_AUTO_REFLESH_SECOND, 30000);
    EXPECT_EQ(f.Now().INDEX_CALENDAR_ROW, 3);

    // Opened again, the typed values come back whole.
    f.dialog.show();
    EXPECT_EQ(f.Shown("1049"), QStringLiteral("30000"));
    EXPECT_EQ(f.Shown("1055"), QStringLiteral("30000"));
    f.Type("1055", "30001");
    f.Press("1");
    EXPECT_EQ(f.prompts.messages().back(), "Please enter an integer between 0 and 30000.");
    f.Press("2");
    EXPECT_FALSE(f.dialog.isVisible());
}

TEST(HtmlSetupDialog, FailedChecksStopInTheDesignedOrderAndKeepWhatWasTaken) {
    HtmlFixture f;
    f.dialog.show();
    f.Type("1004", "day.html");
    f.Check("1056")->setChecked(false);
    f.Type("1045", " 7 ");
    f.Type("1049", "-5");
    f.Type("1051", "abc");
    f.Type("1067", "0");
    f.Type("1003", "新しい題");

    auto ok_prompts = [&](const char* expected) {
        const std::size_t before = f.prompts.messages().size();
        f.Press("1");
        EXPECT_TRUE(f.dialog.isVisible()) << expected;
        ASSERT_EQ(f.prompts.messages().size(), before + 1) << expected;
        EXPECT_EQ(f.prompts.messages().back(), expected);
    };
    // The unsigned refresh interval has its own message for a minus sign.
    ok_prompts("Please enter a positive integer.");
    EXPECT_EQ(f.dialog.focusWidget(), f.Spin("1049"));
    DiarySettings s = f.Now();
    EXPECT_EQ(s.PREVIEW_HTML, "day.html");
    EXPECT_FALSE(s.PREVIEW_SORT);
    EXPECT_EQ(s.PREVIEW_IMAGE_SIZE, 7);
    EXPECT_EQ(s.PREVIEW_AUTO_REFLESH_SECOND, 60);
    EXPECT_EQ(s.INDEX_HTML_TITLE, "保存履歴");

    // A number is taken and then checked, as the framework does.
    f.Type("1049", "30001");
    ok_prompts("Please enter an integer between 0 and 30000.");
    EXPECT_EQ(f.Now().PREVIEW_AUTO_REFLESH_SECOND, 30001);
    f.Type("1049", "120");
    ok_prompts("Please enter an integer.");
    EXPECT_EQ(f.dialog.focusWidget(), f.Spin("1051"));
    EXPECT_EQ(f.Now().INDEX_IMAGE_SIZE, 50);
    f.Type("1051", "");
    ok_prompts("Please enter an integer.");
    f.Type("1051", "60%");
    ok_prompts("Please enter an integer.");
    // Beyond 32 bits the number saturates and fails the range check.
    f.Type("1051", "99999999999");
    ok_prompts("Please enter an integer between 1 and 100.");
    f.Type("1051", "-2147483649");
    ok_prompts("Please enter an integer between 1 and 100.");
    f.Type("1051", "60");
    f.Type("1053", "101");
    ok_prompts("Please enter an integer between 0 and 100.");
    f.Type("1053", "0");
    ok_prompts("Please enter an integer between 1 and 100.");
    EXPECT_EQ(f.dialog.focusWidget(), f.Spin("1067"));
    EXPECT_EQ(f.Now().INDEX_IMAGE_MAX, 0);
    EXPECT_EQ(f.Now().INDEX_HTML_TITLE, "保存履歴");
    f.Type("1067", "4");
    f.Type("1069", "x");
    ok_prompts("Please enter an integer.");
    f.Type("1069", "1");
    f.Press("1");
    EXPECT_FALSE(f.dialog.isVisible());
    s = f.Now();
    EXPECT_EQ(s.PREVIEW_AUTO_REFLESH_SECOND, 120);
    EXPECT_EQ(s.INDEX_IMAGE_SIZE, 60);
    EXPECT_EQ(s.INDEX_CALENDAR_ROW, 4);
    EXPECT_EQ(s.INDEX_CALENDAR_FONT_SIZE, 1);
    EXPECT_EQ(s.INDEX_HTML_TITLE, "新しい題");
}

TEST(HtmlSetupDialog, ResetReadsItsKeysBackFromSetupIniAndDefaultSetsThem) {
    HtmlFixture f;
    WriteFileBytes(f.home.path() / "setup.ini",
                   Utf8ToCp932("[HTML]\r\nPREVIEW_HTML=日記.html\r\nPREVIEW_SORT=ON\r\n"
                               "PREVIEW_IMAGE_SIZE=33\r\nPREVIEW_AUTO_REFLESH=off\r\n"
                               "PREVIEW_AUTO_REFLESH_SECOND=45\r\nINDEX_HTML=index.html\r\n"
                               "INDEX_IMAGE_MAX=9\r\nINDEX_CALENDAR=off\r\nINDEX_CALENDAR_ROW=3\r\n"
                               "INDEX_CALENDAR_FONT_SIZE=12\r\nINDEX_HTML_TITLE=file title\r\n"
                               "TOP_CODE=file top\r\nBOTTOM_CODE=file bottom\r\n"));
    f.settings.Update([](DiarySettings& s) {
        s.PREVIEW_CREATE = false;
        s.PREVIEW_HTML = "mem.html";
        s.INDEX_CREATE = false;
        s.INDEX_IMAGE_SIZE = 20;
        s.INDEX_CALENDAR_SORT = false;
        s.INDEX_HTML_TITLE = "mem title";
        s.TOP_CODE = "mem top";
    });
    f.dialog.show();
    f.Type("1003", "typed title");
    f.Type("1051", "77");

    // Day page: its six keys from the file (an absent one takes its default),
    // every control taken over first.
    f.Press("1002");
    DiarySettings s = f.Now();
    EXPECT_TRUE(s.PREVIEW_CREATE);
    EXPECT_EQ(s.PREVIEW_HTML, "日記.html");
    EXPECT_FALSE(s.PREVIEW_SORT);
    EXPECT_EQ(s.PREVIEW_IMAGE_SIZE, 33);
    EXPECT_FALSE(s.PREVIEW_AUTO_REFLESH);
    EXPECT_EQ(s.PREVIEW_AUTO_REFLESH_SECOND, 45);
    EXPECT_EQ(s.INDEX_IMAGE_SIZE, 77);
    EXPECT_FALSE(s.INDEX_CREATE);
    EXPECT_EQ(s.INDEX_HTML_TITLE, "typed title");
    EXPECT_EQ(f.Shown("1004"), QStringLiteral("日記.html"));
    EXPECT_EQ(f.Shown("1045"), QStringLiteral("33"));
    EXPECT_FALSE(f.Check("1058")->isChecked());

    // Index page: its twelve keys, never the title or the codes.
    f.Press("1007");
    s = f.Now();
    EXPECT_TRUE(s.INDEX_CREATE);
    EXPECT_EQ(s.INDEX_HTML, "index.html");
    EXPECT_EQ(s.INDEX_IMAGE_SIZE, 50);
    EXPECT_EQ(s.INDEX_IMAGE_MAX, 9);
    EXPECT_FALSE(s.INDEX_CALENDAR);
    EXPECT_TRUE(s.INDEX_CALENDAR_SORT);
    EXPECT_EQ(s.INDEX_CALENDAR_MAX, 15);
    EXPECT_EQ(s.INDEX_CALENDAR_ROW, 3);
    EXPECT_EQ(s.INDEX_CALENDAR_FONT_SIZE, 12);
    EXPECT_EQ(s.INDEX_HTML_TITLE, "typed title");
    EXPECT_EQ(s.TOP_CODE, "mem top");
    EXPECT_EQ(s.BOTTOM_CODE, DiarySettings{}.BOTTOM_CODE);
    EXPECT_EQ(s.PREVIEW_HTML, "日記.html");
    EXPECT_EQ(f.Shown("1053"), QStringLiteral("9"));
    EXPECT_EQ(f.Shown("1003"), QStringLiteral("typed title"));

    // Index defaults with the title edited: the edit survives.
    f.Type("1003", "second title");
    f.Type("1053", "44");
    f.Press("1006");
    s = f.Now();
    const DiarySettings defaults;
    EXPECT_EQ(s.INDEX_HTML, defaults.INDEX_HTML);
    EXPECT_EQ(s.INDEX_IMAGE_MAX, 5);
    EXPECT_TRUE(s.INDEX_CALENDAR);
    EXPECT_EQ(s.INDEX_CALENDAR_ROW, 5);
    EXPECT_EQ(s.INDEX_CALENDAR_FONT_SIZE, 15);
    EXPECT_EQ(s.INDEX_HTML_TITLE, "second title");
    EXPECT_EQ(f.Shown("1003"), QStringLiteral("second title"));
    EXPECT_EQ(f.Shown("1053"), QStringLiteral("5"));
    EXPECT_EQ(s.PREVIEW_HTML, "日記.html");

    f.Press("1008");
    s = f.Now();
    EXPECT_TRUE(s.PREVIEW_SORT);
    EXPECT_TRUE(s.PREVIEW_AUTO_REFLESH);
    EXPECT_EQ(s.PREVIEW_HTML, "preview.html");
    EXPECT_EQ(s.PREVIEW_IMAGE_SIZE, 50);
    EXPECT_EQ(s.PREVIEW_AUTO_REFLESH_SECOND, 60);
    EXPECT_EQ(f.Shown("1049"), QStringLiteral("60"));

    // Cancel keeps what the buttons wrote.
    f.Type("1045", "99");
    f.Press("2");
    EXPECT_EQ(f.Now(), s);
    EXPECT_TRUE(f.prompts.messages().empty());
}

TEST(HtmlSetupDialog, ButtonMakesItsChangeEvenWhenACheckFails) {
    HtmlFixture f;
    f.settings.Update([](DiarySettings& s) { s.PREVIEW_IMAGE_SIZE = 20; });
    f.dialog.show();
    f.Type("1045", "30");
    f.Type("1067", "0");
    f.Type("1003", "typed title");
    f.Press("1008");
    EXPECT_EQ(f.prompts.messages(),
              std::vector<std::string>{"Please enter an integer between 1 and 100."});
    const DiarySettings s = f.Now();
    EXPECT_EQ(s.PREVIEW_IMAGE_SIZE, 50);
    EXPECT_EQ(s.INDEX_CALENDAR_ROW, 0);
    EXPECT_EQ(s.INDEX_HTML_TITLE, "保存履歴");
    EXPECT_EQ(f.Shown("1045"), QStringLiteral("50"));
    EXPECT_TRUE(f.dialog.isVisible());
}

TEST(HtmlSetupDialog, LongAndForeignTextsAndSeveralLinesKeepSetupIniIntact) {
    HtmlFixture f;
    f.dialog.show();
    // 2,000 bytes in CP932; 한 and 😀 have no CP932 form.
    const std::string title = "題名" + std::string(1996, 'x');
    ASSERT_EQ(Cp932ByteLength(title), 2000u);
    const std::string top = "<div class=\"top\">\n  한😀 C:\\new\\n\n</div>";
    f.Type("1003", "😀" + title);
    f.Code("1009")->setPlainText(QString::fromStdString(top));
    f.Code("1010")->setPlainText(QStringLiteral("a\n\nb"));
    f.Press("1");
    ASSERT_FALSE(f.dialog.isVisible());
    EXPECT_EQ(f.Now().TOP_CODE, top);
    EXPECT_EQ(f.Now().INDEX_HTML_TITLE, "😀" + title);

    const auto device_ini = f.home.path() / "device.ini";
    const auto setup_ini = f.home.path() / "setup.ini";
    SaveSettingsTo(f.Now(), device_ini, setup_ini);
    const std::string bytes = ReadFileBytes(setup_ini);
    EXPECT_NE(bytes.find("\r\nTOP_CODE=<div class=\"top\">\\n  ?? C:\\\\new\\\\n\\n</div>\r\n"),
              std::string::npos);
    EXPECT_NE(bytes.find("\r\nBOTTOM_CODE=a\\n\\nb\r\n"), std::string::npos);

    DiarySettings read;
    LoadSettingsFrom(read, device_ini, setup_ini, f.home.str());
    // What CP932 cannot hold reads back as "?"; the reader keeps 1023 bytes.
    EXPECT_EQ(read.TOP_CODE, "<div class=\"top\">\n  ?? C:\\new\\n\n</div>");
    EXPECT_EQ(read.INDEX_HTML_TITLE, "?題名" + std::string(1018, 'x'));
    EXPECT_EQ(read.BOTTOM_CODE, "a\n\nb");
    EXPECT_EQ(read.SHADOW_COLOR, f.Now().SHADOW_COLOR);
    EXPECT_EQ(read.PREVIEW_HTML, "preview.html");
}

class AnsweringPrompts final : public Prompts {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string& text) override {
        questions.push_back(text);
        return answer();
    }
    std::function<bool()> answer = [] { return false; };
    std::vector<std::string> messages, questions;
};

class NoWindow final : public CaptureWindow {
public:
    void PostTitle(const std::string&) override {}
    void PostPreviewSource(std::shared_ptr<PreviewSource>) override {}
};

TEST(HtmlSetupCommand, ReleasesRunsMarksPagesOnOkAndRebuildsWithoutSaving) {
    ScopedTestDevices devices("Cam");
    TempDir home;
    ::setenv("QUILLOMAT_HOME", home.str().c_str(), 1);
    struct UnsetHome {
        ~UnsetHome() { ::unsetenv("QUILLOMAT_HOME"); }
    } unset_home;
    ScaledClock clock(10);
    AnsweringPrompts prompts;
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
    ASSERT_TRUE(engine.BuildCaptureGraph(true, false));
    RecordingPrompts dialog_prompts;
    CHtmlSetupDialog dialog(
        HtmlSetupServices{engine.Settings(), dialog_prompts, [&] { return home.str(); }});

    bool released = false;
    auto press = [&](const char* button, const char* size) {
        QTimer::singleShot(0, &dialog, [&, button, size] {
            released = !engine.Graph().ready.load() && !engine.Worker().IsRunning();
            dialog.findChild<SpinEdit*>(QStringLiteral("1045"))
                ->lineEdit()
                ->setText(QString::fromUtf8(size));
            dialog.findChild<QPushButton*>(QString::fromUtf8(button))->click();
        });
    };

    press("2", "33");
    ASSERT_TRUE(RunHtmlSetupCommand(engine, dialog, prompts));
    EXPECT_TRUE(released);
    EXPECT_FALSE(engine.Store().PagesChanged());
    EXPECT_EQ(engine.Settings().Copy().PREVIEW_IMAGE_SIZE, 50);
    EXPECT_TRUE(engine.Graph().ready.load());
    EXPECT_TRUE(engine.Worker().IsRunning());

    // OK; the first rebuild finds no device and the prompt is answered No.
    press("1", "34");
    std::optional<ScopedTestDevices> gone;
    QTimer::singleShot(0, &dialog, [&] { gone.emplace(""); });
    prompts.answer = [&] {
        gone.reset();
        return false;
    };
    ASSERT_TRUE(RunHtmlSetupCommand(engine, dialog, prompts));
    EXPECT_TRUE(engine.Store().PagesChanged());
    EXPECT_EQ(engine.Settings().Copy().PREVIEW_IMAGE_SIZE, 34);
    EXPECT_EQ(prompts.questions, std::vector<std::string>{kGraphFailedPrompt});
    EXPECT_TRUE(engine.Graph().ready.load());

    // Yes to the prompt: the caller closes.
    press("2", "35");
    QTimer::singleShot(0, &dialog, [&] { gone.emplace(""); });
    prompts.answer = [] { return true; };
    EXPECT_FALSE(RunHtmlSetupCommand(engine, dialog, prompts));
    EXPECT_FALSE(engine.Graph().ready.load());
    gone.reset();
    // The command saves nothing; the settings reach the files later.
    EXPECT_FALSE(std::filesystem::exists(home.path() / "setup.ini"));
    EXPECT_TRUE(dialog_prompts.messages().empty());
}

}  // namespace

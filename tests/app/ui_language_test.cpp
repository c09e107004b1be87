#include "app/ui_language.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>

#include "app/message_box_prompts.h"
#include "events/diary_events.h"
#include "platform/stop_signal.h"
#include "retention/diary_retention.h"
#include "retention/retention_settings.h"
#include "settings/shared_settings.h"
#include "support/fake_clock.h"
#include "support/local_time.h"
#include "support/temp_dir.h"

namespace {

using Variables = std::map<std::string, std::string>;

constexpr const char* kLanguageVariables[] = {"QUILLOMAT_LANGUAGE", "LANGUAGE", "LC_ALL",
                                              "LC_MESSAGES", "LANG"};

// Exactly the given language variables set, for the object's life; the
// machine's own come back afterwards.
class LanguageEnvironment {
public:
    explicit LanguageEnvironment(const std::map<std::string, std::string>& set = {}) {
        for (const char* name : kLanguageVariables) {
            if (const char* value = std::getenv(name)) saved_[name] = value;
            ::unsetenv(name);
        }
        for (const auto& [name, value] : set) ::setenv(name.c_str(), value.c_str(), 1);
    }
    ~LanguageEnvironment() {
        for (const char* name : kLanguageVariables) {
            const auto it = saved_.find(name);
            if (it == saved_.end()) {
                ::unsetenv(name);
            } else {
                ::setenv(name, it->second.c_str(), 1);
            }
        }
    }
    LanguageEnvironment(const LanguageEnvironment&) = delete;
    LanguageEnvironment& operator=(const LanguageEnvironment&) = delete;

private:
    std::map<std::string, std::string> saved_;
};

QString LanguageWith(const std::map<std::string, std::string>& set) {
    const LanguageEnvironment environment(set);
    return InterfaceLanguage();
}

TEST(UiLanguage, FollowsTheLocaleAsGettextReadsItAndOurVariableForcesOne) {
    const QString ja = QStringLiteral("ja");
    const QString en = QStringLiteral("en");
    // Nothing set, C and POSIX: the designed texts; LANGUAGE is not read then.
    EXPECT_EQ(LanguageWith({}), ja);
    EXPECT_EQ(LanguageWith({{"LANG", "C"}}), ja);
    EXPECT_EQ(LanguageWith({{"LC_ALL", "POSIX"}, {"LANGUAGE", "de"}}), ja);
    EXPECT_EQ(LanguageWith({{"LANG", "C.UTF-8"}}), ja);
    EXPECT_EQ(LanguageWith({{"LANGUAGE", "en"}}), ja);
    // Japanese locales, English for every other language.
    EXPECT_EQ(LanguageWith({{"LANG", "ja_JP.UTF-8"}}), ja);
    EXPECT_EQ(LanguageWith({{"LANG", "ja"}}), ja);
    EXPECT_EQ(LanguageWith({{"LANG", "de_DE.UTF-8"}}), en);
    EXPECT_EQ(LanguageWith({{"LANG", "jam_JM"}}), en);
    // LC_ALL before LC_MESSAGES before LANG; empty values count as unset.
    EXPECT_EQ(LanguageWith({{"LC_ALL", "ja_JP.UTF-8"}, {"LANG", "en_US.UTF-8"}}), ja);
    EXPECT_EQ(LanguageWith({{"LC_MESSAGES", "fr_FR"}, {"LANG", "ja_JP.UTF-8"}}), en);
    EXPECT_EQ(LanguageWith({{"LC_ALL", ""}, {"LANG", "ja_JP.eucJP"}}), ja);
    // LANGUAGE, a colon list, before them all: its first language we have.
    EXPECT_EQ(LanguageWith({{"LANG", "ja_JP.UTF-8"}, {"LANGUAGE", "en_GB:en"}}), en);
    EXPECT_EQ(LanguageWith({{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "fr:ja_JP:en"}}), ja);
    EXPECT_EQ(LanguageWith({{"LANG", "ja_JP.UTF-8"}, {"LANGUAGE", "de:fr"}}), en);
    EXPECT_EQ(LanguageWith({{"LANG", "C.UTF-8"}, {"LANGUAGE", "en_GB:en"}}), en);
    // QUILLOMAT_LANGUAGE decides; other values of it are left aside.
    EXPECT_EQ(LanguageWith({{"QUILLOMAT_LANGUAGE", "en"}, {"LANG", "ja_JP.UTF-8"}}), en);
    EXPECT_EQ(LanguageWith({{"QUILLOMAT_LANGUAGE", "ja"}, {"LANGUAGE", "en"}, {"LANG", "en_US"}}),
              ja);
    EXPECT_EQ(LanguageWith({{"QUILLOMAT_LANGUAGE", "de"}, {"LANG", "ja_JP.UTF-8"}}), ja);
}

TEST(UiLanguage, EnglishLoadsOurCatalogueAndNoQtOneJapaneseTheOtherWayRound) {
    {
        const LanguageEnvironment english(Variables{{"QUILLOMAT_LANGUAGE", "en"}});
        EXPECT_EQ(LoadQtTranslations(*QApplication::instance()), nullptr);
        QTranslator* ours = LoadInterfaceTranslations(*QApplication::instance());
        ASSERT_NE(ours, nullptr);
        EXPECT_EQ(QCoreApplication::translate("CMainDialog", "終了(&X)"), QStringLiteral("E&xit"));
        QCoreApplication::removeTranslator(ours);
        delete ours;
    }
    const LanguageEnvironment japanese(Variables{{"LANG", "ja_JP.UTF-8"}});
    EXPECT_EQ(LoadInterfaceTranslations(*QApplication::instance()), nullptr);
    EXPECT_EQ(QCoreApplication::translate("CMainDialog", "終了(&X)"), QStringLiteral("終了(&X)"));
}

// Runs `prompt`, looks at the message box it opens and answers it with `answer`.
void WithMessageBox(const std::function<void()>& prompt,
                    const std::function<void(QMessageBox&)>& look,
                    QMessageBox::StandardButton answer) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = true;
        look(*box);
        box->button(answer)->click();
    });
    prompt();
    EXPECT_TRUE(seen);
}

class NoEvents final : public EventPublisher {
public:
    void Publish(DiaryEvent) override {}
};

// A log line whose parts are texts of their own (the rule that deleted a
// day): each language is put together from its own parts.
TEST(UiLanguage, EnglishLogLinesKeepTheirDesignedTextForTheFile) {
    const LanguageEnvironment english(Variables{{"QUILLOMAT_LANGUAGE", "en"}});
    QTranslator* ours = LoadInterfaceTranslations(*QApplication::instance());
    ASSERT_NE(ours, nullptr);
    TempDir save;
    std::filesystem::create_directories(save.path() / "20240301");
    WriteFileBytes(save.path() / "20240301" / "20240301120000.jpg", "x");
    // KEEP_DAYS keeps the newest three days that hold pictures.
    for (const std::string day : {"20240313", "20240314", "20240315"}) {
        std::filesystem::create_directories(save.path() / day);
        WriteFileBytes(save.path() / day / (day + "120000.jpg"), "x");
    }
    FakeClock clock;
    clock.SetWallClock(LocalTime(2024, 3, 15, 12));
    SharedSettings settings;
    settings.Update([&](DiarySettings& s) {
        s.SAVE_DIRECTORY = save.str();
        s.Section<RetentionSettings>().KEEP_DAYS = 3;
    });
    NoEvents events;
    std::vector<LogText> lines;
    DiaryEvents subscribed;
    DiaryRetention job({.settings = settings,
                        .events = subscribed,
                        .publish = events,
                        .clock = clock,
                        .post_line = [&](const LogText& l) { lines.push_back(l); }});
    StopSignal stop;
    job.Begin(stop);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].designed, "古い日を削除 20240301 (保存日数3日, 1ファイル, 0KB)");
    EXPECT_EQ(lines[0].shown, "Old day deleted 20240301 (keep 3 days, files: 1, 0KB)");
    QCoreApplication::removeTranslator(ours);
    delete ours;
}

TEST(UiLanguage, QtsOwnButtonsSpeakJapaneseAndValidationPromptsWarn) {
    const LanguageEnvironment bare;
    EXPECT_EQ(InterfaceLanguage(), QStringLiteral("ja"));
    QTranslator* translator = LoadQtTranslations(*QApplication::instance());
    ASSERT_NE(translator, nullptr) << "qt6-translations-l10n (scripts/install-deps)";

    MessageBoxPrompts prompts(nullptr);
    WithMessageBox([&] { prompts.AskOkCancel("ログファイルを削除します"); },
                   [](QMessageBox& box) {
                       EXPECT_EQ(box.button(QMessageBox::Cancel)->text(),
                                 QStringLiteral("キャンセル"));
                   },
                   QMessageBox::Cancel);
    WithMessageBox([&] { prompts.ShowWarning("Please enter an integer between 0 and 59."); },
                   [](QMessageBox& box) {
                       EXPECT_EQ(box.icon(), QMessageBox::Warning);
                       EXPECT_EQ(box.text(),
                                 QStringLiteral("Please enter an integer between 0 and 59."));
                   },
                   QMessageBox::Ok);

    QCoreApplication::removeTranslator(translator);
    delete translator;
}

}  // namespace

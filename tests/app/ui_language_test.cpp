#include "app/ui_language.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>
#include <functional>

#include "app/message_box_prompts.h"

namespace {

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

TEST(UiLanguage, QtsOwnButtonsSpeakJapaneseAndValidationPromptsWarn) {
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

#include "settings/ui/data_exchange.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QVBoxLayout>
#include <limits>
#include <vector>

#include "platform/prompts.h"

namespace {

class RecordedPrompts final : public Prompts {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void ShowWarning(const std::string& text) override {
        messages.push_back(text);
        ++warnings;
    }
    bool AskYesNo(const std::string& text) override {
        messages.push_back(text);
        return false;
    }
    std::vector<std::string> messages;
    std::size_t warnings = 0;
};

struct Values {
    std::int32_t minutes = 10;
    std::int32_t update = 500;
    std::int32_t level = 50;
    std::string folder = "/old/";
    bool motion = false;
};

// Three checked numbers in control order between a text and a check box.
class FieldsDialog : public QDialog {
public:
    FieldsDialog() {
        auto* layout = new QVBoxLayout(this);
        for (QWidget* w : {static_cast<QWidget*>(&folder), static_cast<QWidget*>(&minutes),
                           static_cast<QWidget*>(&update), static_cast<QWidget*>(&level),
                           static_cast<QWidget*>(&motion)})
            layout->addWidget(w);
    }
    bool Exchange(DataExchange::Direction direction, Values& v) {
        DataExchange dx(direction, prompts);
        dx.Text(&folder, v.folder);
        dx.UInt(&minutes, v.minutes, 0, 59);
        dx.Int(&update, v.update, 20, 30000);
        dx.Int(&level, v.level, 0, 100);
        dx.Check(&motion, v.motion);
        return !dx.Failed();
    }
    QLineEdit folder, minutes, update, level;
    QCheckBox motion;
    RecordedPrompts prompts;
};

TEST(DataExchange, NumbersAreReadAsTheFrameworkReadsThem) {
    struct Case {
        const char* text;
        bool ok;
        std::int32_t value;
    };
    const std::int32_t max = std::numeric_limits<std::int32_t>::max();
    const std::int32_t min = std::numeric_limits<std::int32_t>::min();
    for (const Case& c : std::vector<Case>{{"0", true, 0},
                                           {" \t42 \t", true, 42},
                                           {"+7", true, 7},
                                           {"-12", true, -12},
                                           {"007", true, 7},
                                           {"+0", false, 0},
                                           {"-0", false, 0},
                                           {"", false, 0},
                                           {"  ", false, 0},
                                           {"12a", false, 0},
                                           {"1 2", false, 0},
                                           {"0x10", false, 0},
                                           {"1.5", false, 0},
                                           {"99999999999", true, max},
                                           {"-99999999999", true, min}}) {
        std::int32_t value = -777;
        EXPECT_EQ(ParseSignedField(c.text, value), c.ok) << '"' << c.text << '"';
        EXPECT_EQ(value, c.ok ? c.value : -777) << '"' << c.text << '"';
    }
    std::uint32_t value = 3;
    EXPECT_FALSE(ParseUnsignedField("-1", value));
    EXPECT_FALSE(ParseUnsignedField(" -5", value));
    EXPECT_EQ(value, 3u);
    EXPECT_TRUE(ParseUnsignedField("4294967295", value));
    EXPECT_EQ(value, 4294967295u);
    EXPECT_TRUE(ParseUnsignedField("99999999999", value));
    EXPECT_EQ(value, 4294967295u);
    EXPECT_TRUE(ParseUnsignedField("+1024", value));
    EXPECT_EQ(value, 1024u);
}

TEST(DataExchange, WritingShowsEveryValueUncheckedAndReadingBackKeepsThem) {
    FieldsDialog dialog;
    Values v;
    v.minutes = -1;  // hand-edited setting: shown as the unsigned field shows it
    v.level = 500;
    v.motion = true;
    v.folder = "/日記/";
    EXPECT_TRUE(dialog.Exchange(DataExchange::Direction::kToControls, v));
    EXPECT_EQ(dialog.minutes.text(), QStringLiteral("4294967295"));
    EXPECT_EQ(dialog.level.text(), QStringLiteral("500"));
    EXPECT_EQ(dialog.folder.text(), QStringLiteral("/日記/"));
    EXPECT_TRUE(dialog.motion.isChecked());
    EXPECT_TRUE(dialog.prompts.messages.empty());

    dialog.minutes.setText(QStringLiteral(" 59 "));
    dialog.level.setText(QStringLiteral("0"));
    dialog.motion.setChecked(false);
    Values read;
    EXPECT_TRUE(dialog.Exchange(DataExchange::Direction::kFromControls, read));
    EXPECT_EQ(read.minutes, 59);
    EXPECT_EQ(read.update, 500);
    EXPECT_EQ(read.level, 0);
    EXPECT_EQ(read.folder, "/日記/");
    EXPECT_FALSE(read.motion);
    EXPECT_TRUE(dialog.prompts.messages.empty());
}

TEST(DataExchange, FirstFailedCheckPromptsFocusesAndStopsTheCopying) {
    FieldsDialog dialog;
    dialog.show();
    Values shown;
    dialog.Exchange(DataExchange::Direction::kToControls, shown);
    dialog.folder.setText(QStringLiteral("/new/"));

    // Out of range: the number is stored before it is checked.
    dialog.minutes.setText(QStringLiteral("60"));
    dialog.update.setText(QStringLiteral("10"));
    dialog.level.setText(QStringLiteral("70"));
    dialog.motion.setChecked(true);
    Values v;
    EXPECT_FALSE(dialog.Exchange(DataExchange::Direction::kFromControls, v));
    ASSERT_EQ(dialog.prompts.messages,
              std::vector<std::string>{"Please enter an integer between 0 and 59."});
    EXPECT_EQ(dialog.prompts.warnings, 1u);  // with the exclamation icon
    EXPECT_EQ(v.folder, "/new/");            // before the failing field: copied
    EXPECT_EQ(v.minutes, 60);                // the failing field: holds the rejected number
    EXPECT_EQ(v.update, 500);                // after it: untouched
    EXPECT_EQ(v.level, 50);
    EXPECT_FALSE(v.motion);
    EXPECT_EQ(dialog.focusWidget(), &dialog.minutes);
    EXPECT_EQ(dialog.minutes.selectedText(), QStringLiteral("60"));

    // The next failure is the signed field's range, with its own bounds.
    dialog.prompts.messages.clear();
    dialog.minutes.setText(QStringLiteral("5"));
    EXPECT_FALSE(dialog.Exchange(DataExchange::Direction::kFromControls, v));
    EXPECT_EQ(dialog.prompts.messages,
              std::vector<std::string>{"Please enter an integer between 20 and 30000."});
    EXPECT_EQ(v.minutes, 5);
    EXPECT_EQ(v.update, 10);
    EXPECT_EQ(dialog.focusWidget(), &dialog.update);

    // Not a number: the variable is left as it was; the prompt names the kind.
    dialog.prompts.messages.clear();
    dialog.minutes.setText(QStringLiteral("-3"));
    EXPECT_FALSE(dialog.Exchange(DataExchange::Direction::kFromControls, v));
    EXPECT_EQ(dialog.prompts.messages,
              std::vector<std::string>{"Please enter a positive integer."});
    EXPECT_EQ(v.minutes, 5);
    EXPECT_EQ(dialog.focusWidget(), &dialog.minutes);

    dialog.prompts.messages.clear();
    dialog.minutes.setText(QStringLiteral("5"));
    dialog.update.setText(QStringLiteral("20"));
    dialog.level.setText(QStringLiteral("ten"));
    EXPECT_FALSE(dialog.Exchange(DataExchange::Direction::kFromControls, v));
    EXPECT_EQ(dialog.prompts.messages, std::vector<std::string>{"Please enter an integer."});
    EXPECT_EQ(v.update, 20);
    EXPECT_EQ(v.level, 50);
    EXPECT_FALSE(v.motion);
    EXPECT_EQ(dialog.focusWidget(), &dialog.level);
}

}  // namespace

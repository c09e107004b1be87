#include "controls/spin_edit.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QHBoxLayout>

namespace {

TEST(SpinEdit, AccessibleValueIsTheNumberInTheEditAndASetValueLandsThere) {
    QWidget window;
    SpinEdit spin(&window);
    spin.SetRange(20, 30000);
    spin.SetPosition(500);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&spin);
    ASSERT_NE(accessible, nullptr);
    QAccessibleValueInterface* value = accessible->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->currentValue().toInt(), 500);
    EXPECT_EQ(value->minimumValue().toInt(), 20);
    EXPECT_EQ(value->maximumValue().toInt(), 30000);
    EXPECT_EQ(value->minimumStepSize().toInt(), 1);

    // Typed text counts, beyond the spin range too; text that is no number
    // reads as the position the arrows step from.
    spin.lineEdit()->setText(QStringLiteral(" 45000 "));
    EXPECT_EQ(value->currentValue().toInt(), 45000);
    spin.lineEdit()->setText(QStringLiteral("x"));
    EXPECT_EQ(value->currentValue().toInt(), 500);

    // The bus hands over a double; the edit shows the number, within the range.
    value->setCurrentValue(1234.0);
    EXPECT_EQ(spin.lineEdit()->text(), QStringLiteral("1234"));
    EXPECT_EQ(accessible->text(QAccessible::Value), QStringLiteral("1234"));
    value->setCurrentValue(5.0);
    EXPECT_EQ(spin.lineEdit()->text(), QStringLiteral("20"));
    spin.stepBy(2);
    EXPECT_EQ(value->currentValue().toInt(), 22);
}

// Laid out (the extra settings' tabs), a field shows the widest number of
// its range whole.
TEST(SpinEdit, LaidOutItShowsTheWidestNumberOfItsRange) {
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    auto* spin = new SpinEdit(&window);
    spin->SetRange(0, 36500);
    layout->addWidget(spin);
    layout->addStretch(1);
    window.resize(600, 60);
    window.show();
    spin->SetPosition(36500);
    const QLineEdit* edit = spin->lineEdit();
    const int needed = edit->fontMetrics().horizontalAdvance(edit->text());
    EXPECT_GE(
        edit->contentsRect().width() - edit->textMargins().left() - edit->textMargins().right(),
        needed);
}

}  // namespace

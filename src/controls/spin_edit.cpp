#include "controls/spin_edit.h"

#include <QAccessible>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <algorithm>
#include <limits>
#include <optional>

namespace {

std::optional<qlonglong> NumberIn(const QLineEdit* edit) {
    bool ok = false;
    const qlonglong number = edit->text().trimmed().toLongLong(&ok);
    if (!ok) return std::nullopt;
    return number;
}

}  // namespace

SpinEdit::SpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
    setAccelerated(true);
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] {
        QAccessibleValueChangeEvent event(this, Value());
        QAccessible::updateAccessibility(&event);
    });
}

void SpinEdit::SetRange(int minimum, int maximum) {
    minimum_ = std::min(minimum, maximum);
    maximum_ = std::max(minimum, maximum);
    position_ = std::clamp(position_, minimum_, maximum_);
}

void SpinEdit::SetPosition(int position) {
    position_ = std::clamp(position, minimum_, maximum_);
    lineEdit()->setText(QString::number(position_));
}

int SpinEdit::Value() const {
    const std::optional<qlonglong> number = NumberIn(lineEdit());
    if (!number) return position_;
    return static_cast<int>(std::clamp<qlonglong>(*number, std::numeric_limits<int>::min(),
                                                  std::numeric_limits<int>::max()));
}

void SpinEdit::stepBy(int steps) {
    const std::optional<qlonglong> typed = NumberIn(lineEdit());
    const qlonglong from = typed ? std::clamp<qlonglong>(*typed, minimum_, maximum_) : position_;
    SetPosition(static_cast<int>(std::clamp<qlonglong>(from + steps, minimum_, maximum_)));
    lineEdit()->selectAll();
}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const {
    return StepUpEnabled | StepDownEnabled;
}

QSize SpinEdit::sizeHint() const {
    ensurePolished();
    const QFontMetrics metrics(fontMetrics());
    int width = 0;
    for (const int end : {minimum_, maximum_})
        width = std::max(width, metrics.horizontalAdvance(QString::number(end) + u' '));
    width += 2;  // the cursor
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    return style()->sizeFromContents(QStyle::CT_SpinBox, &option,
                                     QSize(width, lineEdit()->sizeHint().height()), this);
}

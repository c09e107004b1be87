#include "controls/spin_edit.h"

#include <algorithm>

SpinEdit::SpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
    setAccelerated(true);
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

void SpinEdit::stepBy(int steps) {
    bool ok = false;
    const qlonglong typed = lineEdit()->text().trimmed().toLongLong(&ok);
    const qlonglong from = ok ? std::clamp<qlonglong>(typed, minimum_, maximum_) : position_;
    SetPosition(static_cast<int>(std::clamp<qlonglong>(from + steps, minimum_, maximum_)));
    lineEdit()->selectAll();
}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const {
    return StepUpEnabled | StepDownEnabled;
}

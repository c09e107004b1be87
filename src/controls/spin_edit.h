#pragma once

#include <QAbstractSpinBox>
#include <QLineEdit>

// An edit with an attached up-down control. The edit takes any text (the
// dialog's data exchange checks it); the arrows, the arrow keys and the wheel
// step the number in the edit within the spin range, starting from the
// range's nearest end when the text is out of it and from the last position
// when it is not a number.
class SpinEdit : public QAbstractSpinBox {
public:
    explicit SpinEdit(QWidget* parent = nullptr);

    using QAbstractSpinBox::lineEdit;

    void SetRange(int minimum, int maximum);
    // Shows `position` in the edit.
    void SetPosition(int position);
    int Position() const { return position_; }
    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }

    void stepBy(int steps) override;

protected:
    StepEnabled stepEnabled() const override;

private:
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
};

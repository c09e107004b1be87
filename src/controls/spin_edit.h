#pragma once

#include <QAbstractSpinBox>
#include <QLineEdit>

// An edit with an attached up-down control. The edit takes any text (the
// dialog's data exchange checks it); the arrows, the arrow keys and the wheel
// step the number in the edit within the spin range, starting from the
// range's nearest end when the text is out of it and from the last position
// when it is not a number.
//
// Qt's accessible spin box reads the properties below, so a screen reader
// hears the number in the edit with the spin range, and a value it sets is
// put into the edit (within the range), where the data exchange takes it.
class SpinEdit : public QAbstractSpinBox {
    Q_OBJECT
    Q_PROPERTY(int value READ Value WRITE SetValue)
    Q_PROPERTY(int minimum READ Minimum)
    Q_PROPERTY(int maximum READ Maximum)
    Q_PROPERTY(int stepSize READ StepSize)

public:
    explicit SpinEdit(QWidget* parent = nullptr);

    using QAbstractSpinBox::lineEdit;

    void SetRange(int minimum, int maximum);
    // Shows `position` in the edit.
    void SetPosition(int position);
    int Position() const { return position_; }
    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }
    int StepSize() const { return 1; }

    // The number in the edit (beyond the range too), or the last position
    // when the text is not a number.
    int Value() const;
    // As the arrows do: the value, brought into the range, shown in the edit.
    void SetValue(int value) { SetPosition(value); }

    void stepBy(int steps) override;
    // Wide enough for the range's ends, as QSpinBox is: the base class knows
    // no range and asks for a field of one blank.
    QSize sizeHint() const override;

protected:
    StepEnabled stepEnabled() const override;

private:
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
};

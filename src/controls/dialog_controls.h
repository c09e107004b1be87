#pragma once

#include <QRect>
#include <QString>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class SpinEdit;

// Places a fixed-layout dialog's controls as its resource does. Each control
// gets its resource identifier as object name (tests find it by that) and
// the text its label reads as accessible name (screen readers announce it).
// Texts come translated (the dialog's tr()).
class DialogControls {
public:
    explicit DialogControls(QWidget* dialog) : dialog_(dialog) {}

    // Lowered, so that it never covers the controls drawn inside it.
    QGroupBox* Group(const QString& title, QRect rect) const;
    QLabel* Label(const QString& text, QRect rect, QWidget* buddy = nullptr) const;
    QCheckBox* Check(const char* id, const QString& text, QRect rect) const;
    QLineEdit* Edit(const char* id, const QString& name, QRect rect) const;
    SpinEdit* Spin(const char* id, const QString& name, QRect rect, int min, int max) const;
    // Never the default button: Enter anywhere in a dialog means OK.
    QPushButton* Button(const char* id, const QString& text, QRect rect) const;

private:
    QWidget* dialog_;
};

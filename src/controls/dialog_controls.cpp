#include "controls/dialog_controls.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "controls/spin_edit.h"

namespace {

template <typename Control>
Control* Placed(Control* control, const char* id, QRect rect) {
    if (id) control->setObjectName(QString::fromUtf8(id));
    control->setGeometry(rect);
    return control;
}

}  // namespace

QGroupBox* DialogControls::Group(const QString& title, QRect rect) const {
    auto* box = Placed(new QGroupBox(title, dialog_), nullptr, rect);
    box->lower();
    return box;
}

QLabel* DialogControls::Label(const QString& text, QRect rect, QWidget* buddy) const {
    auto* label = Placed(new QLabel(text, dialog_), nullptr, rect);
    if (buddy) label->setBuddy(buddy);
    return label;
}

QCheckBox* DialogControls::Check(const char* id, const QString& text, QRect rect) const {
    auto* box = Placed(new QCheckBox(text, dialog_), id, rect);
    box->setAccessibleName(box->text());
    return box;
}

QLineEdit* DialogControls::Edit(const char* id, const QString& name, QRect rect) const {
    auto* edit = Placed(new QLineEdit(dialog_), id, rect);
    edit->setAccessibleName(name);
    return edit;
}

SpinEdit* DialogControls::Spin(const char* id, const QString& name, QRect rect, int min,
                               int max) const {
    auto* spin = Placed(new SpinEdit(dialog_), id, rect);
    spin->setAccessibleName(name);
    spin->SetRange(min, max);
    return spin;
}

QPushButton* DialogControls::Button(const char* id, const QString& text, QRect rect) const {
    auto* button = Placed(new QPushButton(text, dialog_), id, rect);
    button->setAccessibleName(button->text());
    button->setAutoDefault(false);
    return button;
}

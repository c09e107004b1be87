#include "controls/image_button.h"

#include <QEnterEvent>

CImageButton::CImageButton(QWidget* parent) : QPushButton(parent) {
    setIconSize(QSize(32, 32));
    // The icons stand for the text; the keyboard still reaches the button.
    setAutoDefault(false);
}

void CImageButton::SetIcons(const QIcon& hover_icon, const QIcon& normal_icon) {
    hover_icon_ = hover_icon;
    normal_icon_ = normal_icon;
    ShowCurrentIcon();
}

void CImageButton::SetToolTipText(const QString& text) {
    setToolTip(text);
    setAccessibleName(text);
}

void CImageButton::enterEvent(QEnterEvent* event) {
    pointer_over_ = true;
    ShowCurrentIcon();
    QPushButton::enterEvent(event);
}

void CImageButton::leaveEvent(QEvent* event) {
    pointer_over_ = false;
    ShowCurrentIcon();
    QPushButton::leaveEvent(event);
}

void CImageButton::ShowCurrentIcon() { setIcon(pointer_over_ ? hover_icon_ : normal_icon_); }

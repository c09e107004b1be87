#pragma once

#include <QIcon>
#include <QPushButton>

// A push button that shows one icon while the pointer is over it and another
// otherwise, instead of text, with a tooltip that is also its accessible name.
class CImageButton : public QPushButton {
public:
    explicit CImageButton(QWidget* parent = nullptr);

    // The pair can be replaced at any time (the on-air switch does); the
    // icon shown follows at once.
    void SetIcons(const QIcon& hover_icon, const QIcon& normal_icon);
    void SetToolTipText(const QString& text);

    const QIcon& HoverIcon() const { return hover_icon_; }
    const QIcon& NormalIcon() const { return normal_icon_; }
    bool PointerOver() const { return pointer_over_; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void ShowCurrentIcon();

    QIcon hover_icon_;
    QIcon normal_icon_;
    bool pointer_over_ = false;
};

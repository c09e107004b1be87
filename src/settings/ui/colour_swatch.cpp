#include "settings/ui/colour_swatch.h"

#include <QMouseEvent>
#include <QPainter>

ColourSwatch::ColourSwatch(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
}

void ColourSwatch::SetColour(const QColor& colour) {
    colour_ = colour;
    update();
}

void ColourSwatch::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        painter.fillRect(contentsRect(), colour_);
    }
    QFrame::paintEvent(event);
}

void ColourSwatch::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && on_double_click_) {
        on_double_click_();
        return;
    }
    QFrame::mouseDoubleClickEvent(event);
}

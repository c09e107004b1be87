#include "controls/push_graph.h"

#include <QMetaObject>
#include <QPainter>
#include <QPolygon>
#include <QResizeEvent>
#include <QSizeGrip>
#include <QThread>

QColor ColourFromRef(std::uint32_t colour) {
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

C2DPushGraph::C2DPushGraph(QWidget* parent) : QWidget(parent) {
    // Every paint covers the whole widget from the off-screen image.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

bool C2DPushGraph::CreateOverPlaceholder(QWidget* parent, const QString& placeholder_name) {
    if (!parent) return false;
    QWidget* placeholder =
        parent->findChild<QWidget*>(placeholder_name, Qt::FindDirectChildrenOnly);
    if (!placeholder) return false;
    setParent(parent);
    setGeometry(placeholder->geometry());
    setObjectName(placeholder->objectName());
    setAccessibleName(placeholder->accessibleName());
    stackUnder(placeholder);
    delete placeholder;
    show();
    return true;
}

void C2DPushGraph::SetSizingFrame(bool on) {
    if (on && !grip_) {
        // A sub-window is what a size grip resizes, instead of the dialog.
        const bool visible = isVisible();
        setWindowFlags(windowFlags() | Qt::SubWindow);
        grip_ = new QSizeGrip(this);
        grip_->setAccessibleName(accessibleName());
        grip_->resize(grip_->sizeHint());
        grip_->move(width() - grip_->width(), height() - grip_->height());
        grip_->show();
        if (visible) show();
    } else if (!on && grip_) {
        delete grip_;
        grip_ = nullptr;
    }
}

void C2DPushGraph::Refresh() {
    model_.Refresh();
    if (QThread::currentThread() == thread()) {
        repaint();
        return;
    }
    // One queued repaint at a time: a busy user interface thread gets one
    // paint of the newest values, not a backlog.
    if (repaint_queued_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            repaint_queued_.store(false);
            repaint();
        },
        Qt::QueuedConnection);
}

void C2DPushGraph::paintEvent(QPaintEvent*) {
    const QSize size = this->size();
    if (surface_.size() != size) surface_ = QImage(size, QImage::Format_RGB32);
    if (surface_.isNull()) return;
    const PushGraphModel::Layout layout = model_.LayOut(size.width(), size.height());
    {
        QPainter painter(&surface_);
        painter.fillRect(surface_.rect(), ColourFromRef(background_colour_));
        painter.setPen(QPen(ColourFromRef(grid_colour_), 1));
        for (int y : layout.grid_rows) painter.drawLine(0, y, size.width() - 1, y);
        for (int x : layout.grid_columns) painter.drawLine(x, 0, x, size.height());
        for (const PushGraphModel::Line& line : layout.lines) {
            QPolygon polygon;
            polygon.reserve(static_cast<int>(line.points.size()) + 1);
            polygon << QPoint(line.start.x, line.start.y);
            for (const auto& p : line.points) polygon << QPoint(p.x, p.y);
            painter.setPen(QPen(ColourFromRef(line.colour), 1));
            painter.drawPolyline(polygon);
        }
    }
    QPainter(this).drawImage(0, 0, surface_);
}

void C2DPushGraph::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    model_.Resized();
    if (grip_) grip_->move(width() - grip_->width(), height() - grip_->height());
    update();
}

#include "capture/ui/preview_view.h"

#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QTimerEvent>

PreviewView::PreviewView(QWidget* parent) : QWidget(parent) {
    // Every pixel is painted each time: nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PreviewView::SetPlaceholder(QPixmap placeholder) {
    placeholder_ = std::move(placeholder);
    update();
}

void PreviewView::SetSource(std::shared_ptr<PreviewSource> source) {
    source_ = std::move(source);
    frame_.reset();
    sequence_ = 0;
    frames_shown_ = 0;
    UpdatePulling();
    update();
}

bool PreviewView::PullFrame() {
    if (!source_) return false;
    // Let go of the frame shown so that the source can fill the same memory
    // again (it is painted already); it comes back when nothing newer came.
    const std::weak_ptr<const PreviewFrame> shown = frame_;
    frame_.reset();
    // Scaled by the converter it passes through anyway: the paint then
    // copies the picture as it is instead of converting and scaling it.
    auto frame = source_->TakeScaledPreviewFrame(sequence_, width(), height());
    if (!frame || frame->pixels == nullptr || frame->width <= 0 || frame->height <= 0) {
        frame_ = shown.lock();
        return false;
    }
    sequence_ = frame->sequence;
    frame_ = std::move(frame);
    ++frames_shown_;
    update();
    return true;
}

void PreviewView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (frame_) {
        // Wraps the frame's memory; nothing is copied before the scaled draw.
        const QImage image(frame_->pixels, frame_->width, frame_->height,
                           static_cast<qsizetype>(frame_->stride),
                           frame_->layout == PreviewFrame::Layout::kBgra32 ? QImage::Format_RGB32
                                                                           : QImage::Format_BGR888);
        painter.drawImage(rect(), image);
        return;
    }
    if (placeholder_.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    painter.fillRect(rect(), Qt::white);
    painter.drawPixmap(rect(), placeholder_);
}

void PreviewView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    UpdatePulling();
}

void PreviewView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    UpdatePulling();
}

void PreviewView::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    // A minimised window stays "visible" to Qt; it must not cost anything.
    if (window()->isMinimized()) {
        timer_.stop();
        return;
    }
    PullFrame();
}

void PreviewView::UpdatePulling() {
    const bool wanted = source_ && isVisible() && !window()->isMinimized();
    if (wanted && !timer_.isActive()) {
        timer_.start(kPullIntervalMs, Qt::PreciseTimer, this);
    } else if (!wanted && timer_.isActive()) {
        timer_.stop();
        // The last frame's memory goes back to the source.
        frame_.reset();
    }
}

#include "capture/ui/preview_view.h"

#include <QImage>
#include <QPainter>

namespace {
constexpr int kPullIntervalMs = 33;
}  // namespace

PreviewView::PreviewView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    timer_.setInterval(kPullIntervalMs);
    connect(&timer_, &QTimer::timeout, this, [this] { Pull(); });
}

void PreviewView::SetSource(std::shared_ptr<PreviewSource> source) {
    source_ = std::move(source);
    frame_.reset();
    frames_shown_ = 0;
    if (source_)
        timer_.start();
    else
        timer_.stop();
    update();
}

void PreviewView::Pull() {
    if (!source_) return;
    auto next = source_->TakePreviewFrame(frame_ ? frame_->sequence : 0);
    if (!next) return;
    frame_ = std::move(next);
    ++frames_shown_;
    update();
}

void PreviewView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!frame_ || frame_->width < 1 || frame_->height < 1) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    const QImage picture(frame_->pixels, frame_->width, frame_->height,
                         static_cast<qsizetype>(frame_->stride), QImage::Format_BGR888);
    painter.drawImage(rect(), picture);
}

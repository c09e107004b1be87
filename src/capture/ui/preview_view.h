#pragma once

#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>

#include "capture/capture_window.h"

// The live picture of a graph: pulls the newest frame at the display rate and
// draws it scaled into the widget. Costs nothing while no source is set.
class PreviewView : public QWidget {
public:
    explicit PreviewView(QWidget* parent = nullptr);

    // nullptr shows black.
    void SetSource(std::shared_ptr<PreviewSource> source);
    // Frames drawn since the source was set (tests and screenshots).
    std::uint64_t FramesShown() const { return frames_shown_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Pull();

    std::shared_ptr<PreviewSource> source_;
    std::shared_ptr<const PreviewFrame> frame_;
    std::uint64_t frames_shown_ = 0;
    QTimer timer_;
};

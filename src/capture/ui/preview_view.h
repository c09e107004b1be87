#pragma once

#include <QBasicTimer>
#include <QPixmap>
#include <QWidget>
#include <cstdint>
#include <memory>

#include "capture/capture_window.h"

// The live picture of a graph's preview source. While it is visible it pulls
// the newest frame once per display frame and paints it scaled, straight from
// the frame's memory; hidden or minimised it pulls nothing. Without a source
// it shows its placeholder, or black.
class PreviewView : public QWidget {
public:
    static constexpr int kPullIntervalMs = 33;

    explicit PreviewView(QWidget* parent = nullptr);

    // nullptr: no graph (released); the placeholder comes back.
    void SetSource(std::shared_ptr<PreviewSource> source);
    void SetPlaceholder(QPixmap placeholder);
    bool HasSource() const { return source_ != nullptr; }
    bool Pulling() const { return timer_.isActive(); }
    // Frames shown since the source was set (tests and screenshots).
    std::uint64_t FramesShown() const { return frames_shown_; }

    // Pulls once, as a tick does; true when a new frame came.
    bool PullFrame();
    // Starts or stops pulling after the window was shown, hidden, minimised
    // or restored.
    void UpdatePulling();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    std::shared_ptr<PreviewSource> source_;
    std::shared_ptr<const PreviewFrame> frame_;
    std::uint64_t sequence_ = 0;
    std::uint64_t frames_shown_ = 0;
    QBasicTimer timer_;
    QPixmap placeholder_;
};

#pragma once

#include <QImage>
#include <QWidget>
#include <atomic>
#include <cstdint>

#include "controls/push_graph_model.h"

class QSizeGrip;

// Scrolling line graph of integer series over a grid, painted through one
// off-screen image. Values may be pushed and Refresh called from any thread;
// painting stays on the thread that owns the widget, and Refresh never waits
// for it.
class C2DPushGraph : public QWidget {
public:
    explicit C2DPushGraph(QWidget* parent = nullptr);

    // Takes the place, geometry and object name of the placeholder child named
    // `placeholder_name` of `parent`, which is destroyed. False when there is
    // no parent or no such child.
    bool CreateOverPlaceholder(QWidget* parent, const QString& placeholder_name);
    // A grip in the lower right corner lets the user resize the graph inside
    // its parent.
    void SetSizingFrame(bool on);

    void SetStepWidth(std::uint16_t pixels) { model_.SetStepWidth(pixels); }
    void SetGridSpacing(std::int32_t pixels) { model_.SetGridSpacing(pixels); }
    void SetGridColour(std::uint32_t colour) { grid_colour_ = colour; }  // 0x00BBGGRR
    void SetGridVisible(bool visible) { model_.SetGridVisible(visible); }

    bool AddSeries(int id, std::uint32_t colour) { return model_.AddSeries(id, colour); }
    void RemoveSeries(int id) { model_.RemoveSeries(id); }
    bool PushValue(std::int32_t value, int id) { return model_.PushValue(value, id); }
    void Refresh();

    const PushGraphModel& Model() const { return model_; }
    // The last painted picture (tests and screenshots).
    const QImage& Surface() const { return surface_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    PushGraphModel model_;
    std::uint32_t grid_colour_ = 0x009600;
    std::uint32_t background_colour_ = 0;
    QImage surface_;
    QSizeGrip* grip_ = nullptr;
    std::atomic<bool> repaint_queued_{false};
};

// 0x00BBGGRR as the graph's colours are given.
QColor ColourFromRef(std::uint32_t colour);

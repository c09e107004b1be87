#pragma once

#include <QColor>
#include <QFrame>
#include <functional>

// A notifying static painted in one colour: a double click asks for another.
class ColourSwatch : public QFrame {
public:
    explicit ColourSwatch(QWidget* parent = nullptr);

    void SetColour(const QColor& colour);
    QColor Colour() const { return colour_; }
    void OnDoubleClick(std::function<void()> handler) { on_double_click_ = std::move(handler); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QColor colour_{Qt::black};
    std::function<void()> on_double_click_;
};

#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

// The font a dialog resource names, as it exists here. The Japanese Windows
// faces "MS UI Gothic" and "MS Shell Dlg" fall back to IPA Gothic (the
// proportional face first, as MS UI Gothic is proportional); the size in
// points becomes pixels at 96 dpi, as the designed layouts assume.
QFont DialogFont(const QString& face, int point_size);

// (a * b) / c rounded to the nearest integer, halves away from zero, as
// Windows' MulDiv; 0 when c is 0.
int MulDiv(int a, int b, int c);

// Dialog units of one dialog font: a horizontal unit is a quarter of the
// font's average character width, a vertical unit an eighth of its character
// height, each coordinate converted on its own and rounded as Windows does.
class DialogUnits {
public:
    // Average width: the extent of "A".."Z""a".."z" in pixels, halved twice
    // as Windows rounds it ((extent / 26 + 1) / 2); height: ascent + descent.
    explicit DialogUnits(const QFont& font);
    DialogUnits(int base_x, int base_y) : base_x_(base_x), base_y_(base_y) {}

    int BaseX() const { return base_x_; }
    int BaseY() const { return base_y_; }

    int X(int units) const { return MulDiv(units, base_x_, 4); }
    int Y(int units) const { return MulDiv(units, base_y_, 8); }
    QSize Size(int width, int height) const { return {X(width), Y(height)}; }
    QRect Rect(int x, int y, int width, int height) const {
        return {X(x), Y(y), X(width), Y(height)};
    }

private:
    int base_x_;
    int base_y_;
};

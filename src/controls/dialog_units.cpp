#include "controls/dialog_units.h"

#include <QFontMetrics>
#include <QStringList>
#include <cstdint>

namespace {

constexpr int kDesignDpi = 96;

}  // namespace

int MulDiv(int a, int b, int c) {
    if (c == 0) return 0;
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    const bool negative = (product < 0) != (c < 0);
    const std::int64_t num = product < 0 ? -product : product;
    const std::int64_t den = c < 0 ? -static_cast<std::int64_t>(c) : c;
    const std::int64_t rounded = (num + den / 2) / den;
    return static_cast<int>(negative ? -rounded : rounded);
}

QFont DialogFont(const QString& face, int point_size) {
    QFont font;
    QStringList families{face};
    if (face == QStringLiteral("MS UI Gothic") || face == QStringLiteral("MS Shell Dlg") ||
        face == QStringLiteral("MS Shell Dlg 2")) {
        families << QStringLiteral("IPAPGothic") << QStringLiteral("IPAGothic");
    }
    font.setFamilies(families);
    font.setPixelSize(MulDiv(point_size, kDesignDpi, 72));
    font.setStyleHint(QFont::SansSerif);
    return font;
}

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int extent = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    base_x_ = (extent / 26 + 1) / 2;
    base_y_ = metrics.ascent() + metrics.descent();
}

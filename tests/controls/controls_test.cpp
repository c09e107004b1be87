#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPixmap>
#include <cmath>

#include "controls/dialog_units.h"
#include "controls/image_button.h"

namespace {

QIcon SolidIcon(Qt::GlobalColor colour) {
    QPixmap pixmap(32, 32);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

void PointerEnters(QWidget& widget) {
    QEnterEvent event(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&widget, &event);
}

void PointerLeaves(QWidget& widget) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&widget, &event);
}

TEST(DialogUnits, ConvertEachCoordinateRoundingAsWindows) {
    EXPECT_EQ(MulDiv(31, 6, 4), 47);  // 46.5 rounds up
    EXPECT_EQ(MulDiv(7, 12, 8), 11);  // 10.5
    EXPECT_EQ(MulDiv(5, 13, 8), 8);   // 8.125
    EXPECT_EQ(MulDiv(-3, 5, 2), -8);  // halves away from zero
    EXPECT_EQ(MulDiv(3, -5, 2), -8);
    EXPECT_EQ(MulDiv(9, 96, 72), 12);
    EXPECT_EQ(MulDiv(8, 96, 72), 11);
    EXPECT_EQ(MulDiv(5, 3, 0), 0);

    const DialogUnits units(6, 13);
    EXPECT_EQ(units.X(4), 6);
    EXPECT_EQ(units.Y(8), 13);
    // The main window's preview: 38, 7, 185 x 163.
    EXPECT_EQ(units.Rect(38, 7, 185, 163), QRect(57, 11, 278, 265));
    // Sizes are converted themselves, not as right minus left.
    EXPECT_EQ(units.Rect(37, 175, 31, 36).width(), 47);
    EXPECT_EQ(units.Size(230, 320), QSize(345, 520));
}

TEST(DialogUnits, BaseUnitsFollowTheFontAsWindowsRoundsThem) {
    QFont small = DialogFont(QStringLiteral("DejaVu Sans"), 8);
    QFont large = small;
    large.setPixelSize(small.pixelSize() * 2);
    const DialogUnits a(small);
    const DialogUnits b(large);
    const QFontMetrics metrics(small);
    const int extent = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // The average (extent / 52) is rounded, not truncated.
    EXPECT_LE(std::abs(a.BaseX() - extent / 52.0), 0.5 + 1.0 / 26);
    EXPECT_EQ(a.BaseY(), metrics.ascent() + metrics.descent());
    EXPECT_GT(b.BaseX(), a.BaseX());
    EXPECT_GT(b.BaseY(), a.BaseY());
}

TEST(DialogUnits, JapaneseDialogFacesFallBackToIpaGothicAt96Dpi) {
    for (const QString& face : {QStringLiteral("MS UI Gothic"), QStringLiteral("MS Shell Dlg")}) {
        const QFont font = DialogFont(face, 9);
        EXPECT_EQ(font.pixelSize(), 12);
        ASSERT_GE(font.families().size(), 3);
        EXPECT_EQ(font.families().at(0), face);
        EXPECT_EQ(font.families().at(1), QStringLiteral("IPAPGothic"));
        EXPECT_EQ(font.families().at(2), QStringLiteral("IPAGothic"));
        const QStringList installed = QFontDatabase::families();
        if (!installed.contains(face) && installed.contains(QStringLiteral("IPAPGothic"))) {
            EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("IPAPGothic"));
            // A 12-pixel Gothic face: units near those of MS UI Gothic 9 pt.
            const DialogUnits units(font);
            EXPECT_GE(units.BaseX(), 5);
            EXPECT_LE(units.BaseX(), 7);
            EXPECT_GE(units.BaseY(), 12);
            EXPECT_LE(units.BaseY(), 14);
        }
    }
    EXPECT_EQ(DialogFont(QStringLiteral("MS Shell Dlg"), 8).pixelSize(), 11);
    EXPECT_EQ(DialogFont(QStringLiteral("Serif"), 9).families(), QStringList{"Serif"});
}

TEST(CImageButton, ShowsTheHoverIconOnlyWhileThePointerIsOver) {
    CImageButton button;
    const QIcon hover = SolidIcon(Qt::red);
    const QIcon normal = SolidIcon(Qt::blue);
    button.SetIcons(hover, normal);
    button.SetToolTipText(QStringLiteral("スナップショット"));
    EXPECT_TRUE(button.text().isEmpty());
    EXPECT_EQ(button.toolTip(), QStringLiteral("スナップショット"));
    EXPECT_EQ(button.accessibleName(), QStringLiteral("スナップショット"));
    EXPECT_EQ(button.icon().cacheKey(), normal.cacheKey());

    PointerEnters(button);
    EXPECT_TRUE(button.PointerOver());
    EXPECT_EQ(button.icon().cacheKey(), hover.cacheKey());
    PointerLeaves(button);
    EXPECT_FALSE(button.PointerOver());
    EXPECT_EQ(button.icon().cacheKey(), normal.cacheKey());
}

TEST(CImageButton, ASwappedPairShowsAtOnceAndKeepsTheHoverRule) {
    CImageButton button;
    const QIcon on = SolidIcon(Qt::red);
    const QIcon off = SolidIcon(Qt::gray);
    button.SetIcons(on, on);
    PointerEnters(button);
    EXPECT_EQ(button.icon().cacheKey(), on.cacheKey());

    // Switched while the pointer is over it: the new pair's hover icon.
    const QIcon off_hover = SolidIcon(Qt::darkGray);
    button.SetIcons(off_hover, off);
    EXPECT_EQ(button.icon().cacheKey(), off_hover.cacheKey());
    PointerLeaves(button);
    EXPECT_EQ(button.icon().cacheKey(), off.cacheKey());
    EXPECT_EQ(button.HoverIcon().cacheKey(), off_hover.cacheKey());
    EXPECT_EQ(button.NormalIcon().cacheKey(), off.cacheKey());

    button.SetToolTipText(QStringLiteral("ON/OFF切替"));
    EXPECT_EQ(button.accessibleName(), QStringLiteral("ON/OFF切替"));
}

}  // namespace

#include "app/resources/app_resources.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QStringList>

namespace {

bool HasVisiblePixels(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0) return true;
        }
    }
    return false;
}

TEST(AppResources, EveryButtonIconOfThePairsIsThere) {
    const QStringList pairs = {QStringLiteral("snapshot"), QStringLiteral("device_change"),
                               QStringLiteral("device_settings"),
                               QStringLiteral("device_properties"),
                               QStringLiteral("capture_settings")};
    // Hover and normal icon of each button, and both on-air icons.
    QStringList names = {QStringLiteral("on_air"), QStringLiteral("off_air")};
    for (const QString& name : pairs) names << name << name + QStringLiteral("_hover");
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QIcon icon = ButtonIcon(name);
        ASSERT_FALSE(icon.isNull());
        const QImage image = icon.pixmap(32, 32).toImage();
        EXPECT_EQ(image.size(), QSize(32, 32));
        EXPECT_TRUE(HasVisiblePixels(image));
    }
    // Each hover icon differs from its normal one.
    for (const QString& name : pairs) {
        EXPECT_NE(ButtonIcon(name + QStringLiteral("_hover")).pixmap(32, 32).toImage(),
                  ButtonIcon(name).pixmap(32, 32).toImage());
    }
    EXPECT_NE(ButtonIcon(QStringLiteral("on_air")).pixmap(32, 32).toImage(),
              ButtonIcon(QStringLiteral("off_air")).pixmap(32, 32).toImage());
    EXPECT_TRUE(ButtonIcon(QStringLiteral("on_air_hover")).isNull());
    EXPECT_TRUE(ButtonIcon(QStringLiteral("quillomat-32")).isNull());
}

TEST(AppResources, ApplicationIconAndBitmaps) {
    const QIcon icon = AppIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size)));
        EXPECT_TRUE(HasVisiblePixels(icon.pixmap(size, size).toImage()));
    }
    EXPECT_EQ(SideBandBitmap().size(), QSize(47, 499));
    EXPECT_EQ(PreviewPlaceholderBitmap().size(), QSize(320, 240));
}

}  // namespace

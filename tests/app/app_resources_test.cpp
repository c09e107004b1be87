#include "app/resources/app_resources.h"

#include <gtest/gtest.h>

#include <QImage>

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
    // Hover and normal icon of each button, and both on-air icons.
    for (int id : {165, 166, 167, 168, 163, 162, 170, 169, 174, 176, 175, 177}) {
        SCOPED_TRACE(id);
        const QIcon icon = ButtonIcon(id);
        ASSERT_FALSE(icon.isNull());
        const QImage image = icon.pixmap(32, 32).toImage();
        EXPECT_EQ(image.size(), QSize(32, 32));
        EXPECT_TRUE(HasVisiblePixels(image));
    }
    // Each hover icon differs from its normal one.
    for (auto [hover, normal] :
         {std::pair{165, 166}, {167, 168}, {163, 162}, {170, 169}, {174, 176}}) {
        EXPECT_NE(ButtonIcon(hover).pixmap(32, 32).toImage(),
                  ButtonIcon(normal).pixmap(32, 32).toImage());
    }
    EXPECT_TRUE(ButtonIcon(164).isNull());
    EXPECT_TRUE(ButtonIcon(128).isNull());
}

TEST(AppResources, ApplicationIconAndBitmaps) {
    const QIcon icon = AppIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size)));
        EXPECT_TRUE(HasVisiblePixels(icon.pixmap(size, size).toImage()));
    }
    EXPECT_EQ(ResourceBitmap(144).size(), QSize(47, 499));
    EXPECT_EQ(ResourceBitmap(147).size(), QSize(320, 240));
    EXPECT_TRUE(ResourceBitmap(145).isNull());
}

}  // namespace

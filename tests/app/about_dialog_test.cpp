#include "app/about_dialog.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <QTimer>

#include "app/home_page.h"
#include "app/version.h"
#include "controls/dialog_units.h"
#include "support/temp_dir.h"

namespace {

TEST(CAboutDialog, FramelessBoxOfTheDesignedSizeWithItsTextInside) {
    CAboutDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Quillomat - バージョン情報"));
    EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(dialog.size(),
              DialogUnits(DialogFont(QStringLiteral("MS UI Gothic"), 9)).Size(183, 160));
    EXPECT_TRUE(CAboutDialog::AboutText().contains(QStringLiteral(QUILLOMAT_VERSION)));

    // Every line fits the box, the last one above its bottom edge.
    const QFontMetrics metrics(dialog.font());
    const QRect text =
        metrics.boundingRect(QRect(0, 0, dialog.width(), 10000), Qt::AlignHCenter | Qt::AlignTop,
                             CAboutDialog::AboutText());
    EXPECT_LE(text.width(), dialog.width());
    EXPECT_LE(136 + text.height(), dialog.height());

    // The picture and the text are painted.
    const QImage image = dialog.grab().toImage();
    int dark = 0;
    for (int y = 136; y < image.height() - 1; ++y) {
        for (int x = 1; x < image.width() - 1; ++x) {
            if (qGray(image.pixel(x, y)) < 128) ++dark;
        }
    }
    EXPECT_GT(dark, 50);
    EXPECT_NE(image.pixel(image.width() / 2, 70), QColor(Qt::white).rgb());
}

TEST(CAboutDialog, LeftButtonReleaseAnywhereClosesIt) {
    CAboutDialog dialog;
    QTimer::singleShot(0, &dialog, [&] {
        QTest::mouseClick(&dialog, Qt::RightButton, {}, QPoint(10, 10));
        EXPECT_TRUE(dialog.isVisible());
        QTest::mouseClick(&dialog, Qt::LeftButton, {},
                          QPoint(dialog.width() - 5, dialog.height() - 5));
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);

    QTimer::singleShot(0, &dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
}

TEST(HomePage, TheInstalledReadmeElseTheSourceReadme) {
    TempDir root;
    const auto prefix = root.path() / "prefix";
    std::filesystem::create_directories(prefix / "bin");
    const auto source_readme = root.path() / "src" / "README.md";
    const auto installed = prefix / "share" / "doc" / "quillomat" / "README.md";

    // Neither exists: where the installed one belongs.
    EXPECT_EQ(HomePageUrlFor(prefix / "bin", source_readme),
              QUrl::fromLocalFile(QString::fromStdString(installed.string())));

    std::filesystem::create_directories(source_readme.parent_path());
    WriteFileBytes(source_readme, "# Quillomat\n");
    EXPECT_EQ(HomePageUrlFor(prefix / "bin", source_readme),
              QUrl::fromLocalFile(QString::fromStdString(source_readme.string())));

    std::filesystem::create_directories(installed.parent_path());
    WriteFileBytes(installed, "# Quillomat\n");
    const QUrl url = HomePageUrlFor(prefix / "bin", source_readme);
    EXPECT_EQ(url, QUrl::fromLocalFile(QString::fromStdString(installed.string())));
    EXPECT_EQ(url.scheme(), QStringLiteral("file"));

    // This test runs from the build tree: its source tree's README.
    EXPECT_EQ(HomePageUrl(), QUrl::fromLocalFile(QStringLiteral(QUILLOMAT_SOURCE_README)));
    EXPECT_TRUE(std::filesystem::is_regular_file(HomePageUrl().toLocalFile().toStdString()));
}

}  // namespace

#include "diary/ui/snapshot_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "snapshot_fixture.h"

namespace {

// Acts on the snapshot dialog once it is open.
void WhenOpen(std::function<void(CSnapshotDialog*)> act) {
    QTimer::singleShot(0, [act] {
        auto* dialog = dynamic_cast<CSnapshotDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        act(dialog);
    });
}

QPushButton* Button(QWidget* dialog, const QString& text) {
    for (auto* button : dialog->findChildren<QPushButton*>()) {
        if (button->text() == text) return button;
    }
    return nullptr;
}

struct Shown {
    QSize dialog;
    QSize label;
    QSize pixmap;
    QImage grab;
    QString title;
};

Shown Look(CSnapshotDialog* dialog) {
    auto* label = dialog->findChild<QLabel*>(QStringLiteral("picture"));
    Shown shown;
    shown.dialog = dialog->size();
    shown.label = label->size();
    shown.pixmap = label->pixmap().size();
    shown.grab = label->grab().toImage();
    shown.title = dialog->windowTitle();
    return shown;
}

TEST(CSnapshotDialog, SizedByThePictureAndALargerPictureIsCutNotScaled) {
    for (const auto& [format, expected] :
         {std::pair{FrameFormat{320, 240}, QSize(350, 330)}, {{1280, 720}, {670, 570}}}) {
        SCOPED_TRACE(format.width);
        SnapshotFixture f(format);
        // Left half dark, right half light, so a scaled picture would show.
        f.source.SetFrameGenerator([format](int n, std::uint8_t* frame, std::size_t size) {
            const std::size_t stride = format.Stride();
            for (std::size_t i = 0; i < size; ++i) {
                const std::size_t x = (i % stride) / 3;
                frame[i] = static_cast<std::uint8_t>(
                    x < static_cast<std::size_t>(format.width) / 2 ? n : 250);
            }
        });
        QtSnapshotView view(nullptr);
        Shown shown;
        WhenOpen([&](CSnapshotDialog* dialog) {
            shown = Look(dialog);
            Button(dialog, QStringLiteral("キャンセル"))->click();
        });
        EXPECT_EQ(f.Take(view), SnapshotResult::kDiscarded);
        EXPECT_EQ(shown.title, QStringLiteral("Quillomat - スナップショット"));
        EXPECT_EQ(shown.dialog, expected);
        EXPECT_EQ(shown.pixmap, QSize(format.width, format.height));
        EXPECT_EQ(shown.label, QSize(std::min(format.width, 640), std::min(format.height, 480)));
        // Unscaled: for 1280 wide, the whole visible part is the dark half.
        const int light = qGray(shown.grab.pixel(shown.label.width() - 1, 10));
        EXPECT_EQ(light > 200, format.width <= 640);
        EXPECT_EQ(f.HomeEntries(), std::vector<std::string>{});
    }
}

TEST(CSnapshotDialog, CancelledFileDialogReturnsToItThenSaves) {
    SnapshotFixture f;
    TempDir pictures;
    const QString target = QString::fromStdString((pictures.path() / "mine.jpg").string());
    int asked = 0;
    QString default_file;
    QStringList filters;
    QString suffix;
    bool confirms_overwrite = false;
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
    bool still_open_after_cancel = false;
    QtSnapshotView view(nullptr, [&](QFileDialog& dialog) {
        ++asked;
        default_file = dialog.selectedFiles().value(0);
        filters = dialog.nameFilters();
        suffix = dialog.defaultSuffix();
        confirms_overwrite = !dialog.testOption(QFileDialog::DontConfirmOverwrite);
        mode = dialog.acceptMode();
        return asked == 1 ? QString() : target;
    });
    WhenOpen([&](CSnapshotDialog* dialog) {
        Button(dialog, QStringLiteral("保存"))->click();
        still_open_after_cancel = dialog->isVisible();
        // Enter: "保存" is the default button.
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    EXPECT_EQ(f.Take(view), SnapshotResult::kSaved);
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(still_open_after_cancel);
    EXPECT_TRUE(default_file.endsWith(QStringLiteral("/20240315093005.jpg")))
        << default_file.toStdString();
    EXPECT_EQ(filters,
              (QStringList{QStringLiteral("JPEGファイル(*.jpg)"), QStringLiteral("全て(*.*)")}));
    EXPECT_EQ(suffix, QStringLiteral("jpg"));
    EXPECT_TRUE(confirms_overwrite);
    EXPECT_EQ(mode, QFileDialog::AcceptSave);
    EXPECT_TRUE(std::filesystem::is_regular_file(target.toStdString()));
    EXPECT_EQ(f.HomeEntries(), std::vector<std::string>{});
}

TEST(CSnapshotDialog, CancelEscapeAndCloseBoxDiscard) {
    const std::vector<std::function<void(CSnapshotDialog*)>> discards = {
        [](CSnapshotDialog* d) { Button(d, QStringLiteral("キャンセル"))->click(); },
        [](CSnapshotDialog* d) { QTest::keyClick(d, Qt::Key_Escape); },
        [](CSnapshotDialog* d) { d->close(); },
    };
    for (std::size_t i = 0; i < discards.size(); ++i) {
        SCOPED_TRACE(i);
        SnapshotFixture f;
        int asked = 0;
        QtSnapshotView view(nullptr, [&](QFileDialog&) {
            ++asked;
            return QString();
        });
        WhenOpen([&](CSnapshotDialog* dialog) {
            // A cancelled file dialog first, which must not leave a path.
            Button(dialog, QStringLiteral("保存"))->click();
            discards[i](dialog);
        });
        EXPECT_EQ(f.Take(view), SnapshotResult::kDiscarded);
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(f.HomeEntries(), std::vector<std::string>{});
    }
}

TEST(CSnapshotDialog, PreviewShowsTheTimeText) {
    SnapshotFixture f;
    f.settings.Update([](DiarySettings& s) { s.SHOW_TEXT = true; });
    QtSnapshotView view(nullptr);
    QImage preview;
    WhenOpen([&](CSnapshotDialog* dialog) {
        preview = dialog->findChild<QLabel*>(QStringLiteral("picture"))->pixmap().toImage();
        dialog->reject();
    });
    EXPECT_EQ(f.Take(view), SnapshotResult::kDiscarded);
    ASSERT_EQ(preview.size(), QSize(320, 240));
    EXPECT_TRUE(RegionVaries([&](int x, int y) { return preview.pixel(x, y); }, 0, 0, 200, 30));
    // Below the text the frame is the camera's one grey.
    EXPECT_FALSE(RegionVaries([&](int x, int y) { return preview.pixel(x, y); }, 0, 60, 320, 240));
}

TEST(CSnapshotDialog, WithoutAPictureItOpensAtItsOwnSizeAndStillWorks) {
    TempDir home;
    CSnapshotDialog dialog("20240315093005", (home.path() / "snap.tmp").string(), nullptr,
                           [](QFileDialog&) { return QStringLiteral("/tmp/x.jpg"); });
    EXPECT_EQ(dialog.size(), QSize(350, 330));
    EXPECT_TRUE(dialog.findChild<QLabel*>(QStringLiteral("picture"))->pixmap().isNull());
    QPushButton* save = Button(&dialog, QStringLiteral("保存"));
    QPushButton* cancel = Button(&dialog, QStringLiteral("キャンセル"));
    ASSERT_NE(save, nullptr);
    ASSERT_NE(cancel, nullptr);
    EXPECT_TRUE(save->isDefault());
    const QFontMetrics metrics(dialog.font());
    for (QPushButton* button : {save, cancel}) {
        EXPECT_TRUE(dialog.rect().contains(button->geometry()));
        EXPECT_LE(metrics.horizontalAdvance(button->text()) + 8, button->width());
    }
    QTimer::singleShot(0, &dialog, [&] { save->click(); });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.ChosenPath(), "/tmp/x.jpg");
}

}  // namespace

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <functional>

#include "capture/ui/device_property_dialogs.h"
#include "capture/ui/device_select_dialog.h"

namespace {

using Names = std::vector<std::string>;

// Acts on the dialog that is open once exec() runs.
void WhenOpen(std::function<void(QDialog*)> act) {
    QTimer::singleShot(0, [act] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        act(dialog);
    });
}

QPushButton* OkButton(QDialog* dialog) {
    for (auto* button : dialog->findChildren<QPushButton*>()) {
        if (button->text() == QStringLiteral("OK")) return button;
    }
    return nullptr;
}

TEST(CDeviceSelectDialog, ListsInTheGivenOrderWithTheInitialEntrySelected) {
    QtDeviceChooser chooser;
    Names shown;
    int current = -2;
    WhenOpen([&](QDialog* dialog) {
        auto* combo = dialog->findChild<QComboBox*>();
        for (int i = 0; i < combo->count(); ++i) shown.push_back(combo->itemText(i).toStdString());
        current = combo->currentIndex();
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("デバイス選択"));
        OkButton(dialog)->click();
    });
    const DeviceChoice choice = chooser.ChooseDevice({"Zeta", "Alpha", "カメラ"}, 2);
    EXPECT_EQ(shown, (Names{"Zeta", "Alpha", "カメラ"}));
    EXPECT_EQ(current, 2);
    EXPECT_TRUE(choice.ok);
    EXPECT_EQ(choice.selected, 2);

    WhenOpen([](QDialog* dialog) {
        dialog->findChild<QComboBox*>()->setCurrentIndex(1);
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    EXPECT_EQ(chooser.ChooseDevice({"Zeta", "Alpha"}, 0).selected, 1);
}

TEST(CDeviceSelectDialog, OkWithoutSelectionEscapeAndCloseBox) {
    QtDeviceChooser chooser;
    WhenOpen([](QDialog* dialog) {
        dialog->findChild<QComboBox*>()->setCurrentIndex(-1);
        OkButton(dialog)->click();
    });
    DeviceChoice choice = chooser.ChooseDevice({"A", "B"}, 1);
    EXPECT_TRUE(choice.ok);
    EXPECT_EQ(choice.selected, -1);

    WhenOpen([](QDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    EXPECT_FALSE(chooser.ChooseDevice({"A", "B"}, 0).ok);

    WhenOpen([](QDialog* dialog) { dialog->close(); });
    EXPECT_FALSE(chooser.ChooseDevice({"A", "B"}, 0).ok);

    // Nothing to choose: OK selects nothing.
    WhenOpen([](QDialog* dialog) { OkButton(dialog)->click(); });
    choice = chooser.ChooseDevice({}, 0);
    EXPECT_TRUE(choice.ok);
    EXPECT_EQ(choice.selected, -1);
}

TEST(DeviceFormatDialog, OffersSizesAndRatesAndReturnsTheChoice) {
    QtDeviceDialogs dialogs;
    const std::vector<DeviceFormatOffer> offers = {{320, 240, {333333, 666667}},
                                                   {640, 480, {333333, 666667, 1000000}}};
    DeviceFormat format{640, 480, 666667};
    WhenOpen([](QDialog* dialog) {
        auto* f = static_cast<CDeviceFormatDialog*>(dialog);
        EXPECT_EQ(f->sizes()->currentIndex(), 1);
        EXPECT_EQ(f->rates()->count(), 3);
        EXPECT_EQ(f->rates()->currentIndex(), 1);
        f->sizes()->setCurrentIndex(0);
        // The rate is kept where the new size offers it.
        EXPECT_EQ(f->rates()->count(), 2);
        EXPECT_EQ(f->rates()->currentText(), QStringLiteral("15.00 fps"));
        f->rates()->setCurrentIndex(0);
        f->accept();
    });
    ASSERT_TRUE(dialogs.ShowFormatDialog(offers, format));
    EXPECT_EQ(format, (DeviceFormat{320, 240, 333333}));

    WhenOpen([](QDialog* dialog) { dialog->reject(); });
    EXPECT_FALSE(dialogs.ShowFormatDialog(offers, format));
    EXPECT_EQ(format, (DeviceFormat{320, 240, 333333}));
}

// A size a webcam sends both raw and as Motion-JPEG is listed twice, each
// with its own rates; the current size selects the raw entry.
TEST(DeviceFormatDialog, ListsRawAndMotionJpegOffersApart) {
    QtDeviceDialogs dialogs;
    const std::vector<DeviceFormatOffer> offers = {{1280, 720, {1000000}, false},
                                                   {1280, 720, {333333, 666667}, true}};
    DeviceFormat format{1280, 720, 1000000};
    WhenOpen([](QDialog* dialog) {
        auto* f = static_cast<CDeviceFormatDialog*>(dialog);
        ASSERT_EQ(f->sizes()->count(), 2);
        EXPECT_EQ(f->sizes()->itemText(0), QStringLiteral("1280 x 720"));
        EXPECT_EQ(f->sizes()->itemText(1), QStringLiteral("1280 x 720 (MJPEG)"));
        EXPECT_EQ(f->sizes()->currentIndex(), 0);
        EXPECT_EQ(f->rates()->count(), 1);
        f->sizes()->setCurrentIndex(1);
        EXPECT_EQ(f->rates()->count(), 2);
        f->rates()->setCurrentIndex(0);
        f->accept();
    });
    ASSERT_TRUE(dialogs.ShowFormatDialog(offers, format));
    EXPECT_EQ(format, (DeviceFormat{1280, 720, 333333}));
}

TEST(DeviceControlsDialog, SlidersApplyChangesAtOnce) {
    QtDeviceDialogs dialogs;
    std::vector<std::pair<std::string, int>> applied;
    WhenOpen([](QDialog* dialog) {
        auto* slider = dialog->findChild<QSlider*>(QStringLiteral("CONTRAST"));
        ASSERT_NE(slider, nullptr);
        EXPECT_EQ(slider->value(), 10);
        slider->setValue(999);  // clamped to the control's range
        dialog->reject();
    });
    dialogs.ShowControlsDialog(
        "Cam", {{"BRIGHTNESS", -100, 100, 0}, {"CONTRAST", 0, 200, 10}},
        [&](const std::string& name, int value) { applied.emplace_back(name, value); });
    EXPECT_EQ(applied, (std::vector<std::pair<std::string, int>>{{"CONTRAST", 200}}));
}

}  // namespace

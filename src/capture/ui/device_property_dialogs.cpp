#include "capture/ui/device_property_dialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QString RateText(std::int64_t interval_100ns) {
    return QString::number(10000000.0 / static_cast<double>(interval_100ns), 'f', 2) +
           QStringLiteral(" fps");
}

}  // namespace

CDeviceFormatDialog::CDeviceFormatDialog(const std::vector<DeviceFormatOffer>& offers,
                                         const DeviceFormat& current, QWidget* parent)
    : QDialog(parent), offers_(offers), sizes_(new QComboBox(this)), rates_(new QComboBox(this)) {
    setWindowTitle(tr("ビデオ形式"));
    auto* form = new QFormLayout;
    form->addRow(tr("サイズ"), sizes_);
    form->addRow(tr("フレームレート"), rates_);
    // A size may be offered raw and as Motion-JPEG: the entry that has the
    // current rate, else the first of that size.
    int selected = -1;
    bool selected_has_rate = false;
    for (std::size_t i = 0; i < offers_.size(); ++i) {
        const DeviceFormatOffer& offer = offers_[i];
        QString text = QStringLiteral("%1 x %2").arg(offer.width).arg(offer.height);
        if (offer.motion_jpeg) text += QStringLiteral(" (MJPEG)");
        sizes_->addItem(text);
        if (offer.width != current.width || offer.height != current.height) continue;
        const bool has_rate =
            std::find(offer.frame_intervals_100ns.begin(), offer.frame_intervals_100ns.end(),
                      current.frame_interval_100ns) != offer.frame_intervals_100ns.end();
        if (selected < 0 || (has_rate && !selected_has_rate)) {
            selected = static_cast<int>(i);
            selected_has_rate = has_rate;
        }
    }
    selected = std::max(selected, 0);
    sizes_->setCurrentIndex(selected);
    FillRates(current.frame_interval_100ns);
    connect(sizes_, &QComboBox::currentIndexChanged, this,
            [this] { FillRates(rates_->currentData().toLongLong()); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void CDeviceFormatDialog::FillRates(std::int64_t preferred_interval) {
    rates_->clear();
    const int size = sizes_->currentIndex();
    if (size < 0) return;
    int selected = 0;
    const auto& intervals = offers_[static_cast<std::size_t>(size)].frame_intervals_100ns;
    for (std::size_t i = 0; i < intervals.size(); ++i) {
        rates_->addItem(RateText(intervals[i]), QVariant::fromValue<qlonglong>(intervals[i]));
        if (intervals[i] == preferred_interval) selected = static_cast<int>(i);
    }
    rates_->setCurrentIndex(intervals.empty() ? -1 : selected);
}

DeviceFormat CDeviceFormatDialog::Chosen() const {
    const int size = sizes_->currentIndex();
    if (size < 0) return {};
    const DeviceFormatOffer& offer = offers_[static_cast<std::size_t>(size)];
    return {offer.width, offer.height,
            rates_->currentIndex() >= 0 ? rates_->currentData().toLongLong() : 0};
}

CDeviceControlsDialog::CDeviceControlsDialog(const std::string& caption,
                                             const std::vector<DeviceControl>& controls,
                                             std::function<void(const std::string&, int)> set_value,
                                             QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QString::fromStdString(caption));
    auto* form = new QFormLayout;
    for (const DeviceControl& control : controls) {
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setObjectName(QString::fromStdString(control.name));
        slider->setRange(control.minimum, control.maximum);
        slider->setValue(control.value);
        connect(slider, &QSlider::valueChanged, this,
                [set_value, name = control.name](int value) { set_value(name, value); });
        form->addRow(QString::fromStdString(control.name), slider);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

bool QtDeviceDialogs::ShowFormatDialog(const std::vector<DeviceFormatOffer>& offers,
                                       DeviceFormat& format) {
    CDeviceFormatDialog dialog(offers, format, parent_);
    if (dialog.exec() != QDialog::Accepted) return false;
    const DeviceFormat chosen = dialog.Chosen();
    if (chosen.width < 1) return false;
    format = chosen;
    return true;
}

void QtDeviceDialogs::ShowControlsDialog(
    const std::string& caption, const std::vector<DeviceControl>& controls,
    const std::function<void(const std::string&, int)>& set_value) {
    CDeviceControlsDialog dialog(caption, controls, set_value, parent_);
    dialog.exec();
}

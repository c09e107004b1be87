#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <vector>

#include "capture/device_dialogs.h"

class QComboBox;

// Takes the place of the device's format pages: the sizes and frame rates the
// device offers.
class CDeviceFormatDialog : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(CDeviceFormatDialog)

public:
    CDeviceFormatDialog(const std::vector<DeviceFormatOffer>& offers, const DeviceFormat& current,
                        QWidget* parent = nullptr);
    DeviceFormat Chosen() const;

    QComboBox* sizes() const { return sizes_; }
    QComboBox* rates() const { return rates_; }

private:
    void FillRates(std::int64_t preferred_interval);

    std::vector<DeviceFormatOffer> offers_;
    QComboBox* sizes_;
    QComboBox* rates_;
};

// Takes the place of the driver dialogs and property pages: one slider per
// control; changes reach the device at once.
class CDeviceControlsDialog : public QDialog {
public:
    CDeviceControlsDialog(const std::string& caption, const std::vector<DeviceControl>& controls,
                          std::function<void(const std::string&, int)> set_value,
                          QWidget* parent = nullptr);
};

class QtDeviceDialogs final : public DeviceDialogs {
public:
    explicit QtDeviceDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    bool ShowFormatDialog(const std::vector<DeviceFormatOffer>& offers,
                          DeviceFormat& format) override;
    void ShowControlsDialog(const std::string& caption, const std::vector<DeviceControl>& controls,
                            const std::function<void(const std::string&, int)>& set_value) override;

private:
    QWidget* parent_;
};

#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <string>
#include <vector>

#include "capture/device_chooser.h"

class QComboBox;

// "デバイス選択": the device list in the given order, one entry pre-selected.
// A network camera's address may be typed into the list's field instead.
// Escape and the close box cancel; there is no Cancel button.
class CDeviceSelectDialog : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(CDeviceSelectDialog)

public:
    explicit CDeviceSelectDialog(QWidget* parent = nullptr);

    void AddDevice(const std::string& name) { names_.push_back(name); }
    int DeviceCount() const { return static_cast<int>(names_.size()); }
    void SetInitialSelection(int index) { initial_index_ = index > 0 ? index : 0; }
    // After OK: the chosen position, -1 when nothing was selected.
    int SelectedIndex() const { return selected_index_; }
    // After OK: the network address typed instead, else empty.
    const std::string& TypedAddress() const { return typed_address_; }

    int exec() override;
    void accept() override;

private:
    std::vector<std::string> names_;
    QComboBox* combo_;
    int selected_index_ = -1;
    int initial_index_ = 0;
    std::string typed_address_;
};

// The device choice of interactive builds: runs the dialog once.
class QtDeviceChooser final : public DeviceChooser {
public:
    explicit QtDeviceChooser(QWidget* parent = nullptr) : parent_(parent) {}
    DeviceChoice ChooseDevice(const std::vector<std::string>& names, int initial_index) override;

private:
    QWidget* parent_;
};

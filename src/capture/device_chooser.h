#pragma once

#include <string>
#include <utility>
#include <vector>

// The device choice of a build: the device selection dialog, or an automatic
// answer where nobody can be asked.
struct DeviceChoice {
    DeviceChoice() = default;
    DeviceChoice(bool ok_, int selected_, std::string address_ = {})
        : ok(ok_), selected(selected_), address(std::move(address_)) {}

    bool ok = false;    // false: cancelled
    int selected = -1;  // after OK: the chosen position, -1 when nothing was selected
    // After OK: a network camera's address typed instead of a choice (an
    // "http://", "https://" or "rtsp://" address), else empty.
    std::string address;
};

class DeviceChooser {
public:
    virtual ~DeviceChooser() = default;
    // Shows the names in the given order with `initial_index` (never
    // negative) pre-selected, and takes a typed network address as well;
    // runs once. `names` may be empty (no camera: only an address can be
    // given).
    virtual DeviceChoice ChooseDevice(const std::vector<std::string>& names, int initial_index) = 0;
};

// Headless use: OK on the pre-selected entry.
class AutomaticDeviceChooser final : public DeviceChooser {
public:
    DeviceChoice ChooseDevice(const std::vector<std::string>& names, int initial_index) override {
        if (names.empty()) return {};
        return {true, initial_index};
    }
};

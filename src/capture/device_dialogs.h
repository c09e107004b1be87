#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One size the device offers, with the frame intervals it offers at that size.
struct DeviceFormatOffer {
    int width = 0;
    int height = 0;
    std::vector<std::int64_t> frame_intervals_100ns;  // fastest first
    // Sent as Motion-JPEG and decoded here; otherwise raw video.
    bool motion_jpeg = false;

    bool operator==(const DeviceFormatOffer&) const = default;
};

struct DeviceFormat {
    int width = 0;
    int height = 0;
    std::int64_t frame_interval_100ns = 0;

    bool operator==(const DeviceFormat&) const = default;
};

// A picture control of the device (brightness, contrast ...).
struct DeviceControl {
    std::string name;
    int minimum = 0;
    int maximum = 0;
    int value = 0;

    bool operator==(const DeviceControl&) const = default;
};

// The dialogs that take the place of a device's property pages and driver
// dialogs. Run on the user interface thread only.
class DeviceDialogs {
public:
    virtual ~DeviceDialogs() = default;
    // `format` holds the current format on entry and the chosen one after OK.
    virtual bool ShowFormatDialog(const std::vector<DeviceFormatOffer>& offers,
                                  DeviceFormat& format) = 0;
    // Changes reach the device at once through `set_value`.
    virtual void ShowControlsDialog(
        const std::string& caption, const std::vector<DeviceControl>& controls,
        const std::function<void(const std::string& name, int value)>& set_value) = 0;
};

#pragma once

// Private to the capture folder.

#include <optional>
#include <string>
#include <vector>

#include "capture/gst_handle.h"
#include "capture/test_devices.h"

// Initialises GStreamer once per process; false when it cannot be.
bool EnsureGstreamer();

// One video source of the machine, or a test device. An empty name means the
// device has no readable name: it counts as present but is not listed.
struct VideoDevice {
    std::string name;
    DeviceHandle device;
    std::optional<TestDeviceSpec> test;
    // A network camera's address: the name is the address.
    std::string url;
};

struct DeviceEnumeration {
    std::vector<VideoDevice> devices;
    bool monitor_failed = false;
};

// The test devices first, in the given order, then (when asked for) every
// video source of the machine once, ordered by device path, then name.
DeviceEnumeration EnumerateVideoDevices(bool include_system_devices);

// The element that produces the device's frames; null when it cannot be made.
ElementHandle CreateSourceElement(const VideoDevice& device);

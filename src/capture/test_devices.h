#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Devices backed by videotestsrc, listed from QUILLOMAT_TEST_DEVICES so that
// every path of the capture graph runs without a camera. Syntax: see
// docs/test-devices.md.
struct TestDeviceSpec {
    enum class Picture { kMovingBall, kScrollingBars, kStill };

    std::string name;
    Picture picture = Picture::kMovingBall;
    // Frames delivered before the device fails with a stream error (0: it
    // never delivers one); none when it does not fail.
    std::optional<int> fail_after_frames;
    // Frames delivered before the device ends its stream without an error.
    std::optional<int> stop_after_frames;
    // The only size the device offers; none: any size from kTestDeviceMinSide
    // on, the requested one.
    int fixed_width = 0;
    int fixed_height = 0;
    // Offers colour balance controls (brightness, contrast, hue, saturation).
    bool controls = false;
    // Sends Motion-JPEG (image/jpeg) only, as webcams do at their larger sizes.
    bool mjpeg = false;
    // The frame, counted from 1 at each start, that arrives damaged: a JPEG
    // that cannot be decoded (Motion-JPEG only).
    std::optional<int> corrupt_frame;
    // Numbers its frames in the brightness of the picture's top left pixel,
    // so that a still picture is fresh at every frame.
    bool counter = false;
    // While this file exists the device is unplugged: it is not listed, and
    // a running one fails at its next frame with a stream error.
    std::string unplugged_file;
    // While this file exists every frame is black, as a scene at night.
    std::string dark_file;
    // After each start the frames fade in from black to the picture over this
    // many milliseconds, as a camera's exposure settles (0: no fade).
    int warmup_ms = 0;
    // After each start the first this many frames repeat the last frame
    // before the stop, stamped at the start, as a camera that hands out
    // frames it had queued before it was stopped.
    int stale_frames = 0;
    // Frames delivered before the next one blocks the device's streaming
    // thread for good, as a driver that never returns from a call: stopping
    // or rebuilding the graph then never returns either.
    std::optional<int> hang_after_frames;

    bool operator==(const TestDeviceSpec&) const = default;
};

inline constexpr const char* kTestDevicesVariable = "QUILLOMAT_TEST_DEVICES";
// The path of the plugin that gives the faults (tests/test_devices), never
// installed: a device with any of them cannot be made without it.
inline constexpr const char* kTestDevicePluginVariable = "QUILLOMAT_TEST_DEVICE_PLUGIN";

// The smallest width and height a test device offers: videotestsrc's moving
// ball writes past its line buffer in narrower frames and takes the process
// down (its own fault, under gst-launch-1.0 as well).
inline constexpr int kTestDeviceMinSide = 16;

// Parses the variable's value. Unknown options are reported in `errors` and
// otherwise ignored; empty entries are skipped.
std::vector<TestDeviceSpec> ParseTestDevices(std::string_view value,
                                             std::vector<std::string>* errors = nullptr);

bool IsUnplugged(const TestDeviceSpec& spec);

// The test devices of the environment (none when the variable is unset).
std::vector<TestDeviceSpec> TestDevicesFromEnvironment();

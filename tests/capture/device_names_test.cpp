#include "capture/device_names.h"

#include <gtest/gtest.h>

#include "capture/test_devices.h"

namespace {

using Names = std::vector<std::string>;

TEST(DeduplicateDeviceNames, NumbersRepeatedNamesInListOrderOnly) {
    EXPECT_EQ(DeduplicateDeviceNames({"Cam", "Cam", "Pro"}), (Names{"Cam (1)", "Cam (2)", "Pro"}));
    EXPECT_EQ(DeduplicateDeviceNames({"A", "B", "A", "B", "A"}),
              (Names{"A (1)", "B (1)", "A (2)", "B (2)", "A (3)"}));
    // Compared with the names before renaming: "Cam (1)" of the list stays a
    // name of its own.
    EXPECT_EQ(DeduplicateDeviceNames({"Cam (1)", "Cam", "Cam"}),
              (Names{"Cam (1)", "Cam (1)", "Cam (2)"}));
    EXPECT_EQ(DeduplicateDeviceNames({"cam", "Cam"}), (Names{"cam", "Cam"}));
    EXPECT_EQ(DeduplicateDeviceNames({}), Names{});
}

TEST(FormatCaptureTitle, CutsNamesLongerThanTwelveCp932BytesWithoutHalfCharacters) {
    EXPECT_EQ(FormatCaptureTitle("ABCDEFGHIJKL", 320, 240), "Quillomat - ABCDEFGHIJKL (320x240)");
    EXPECT_EQ(FormatCaptureTitle("ABCDEFGHIJKLM", 640, 480),
              "Quillomat - ABCDEFGHIJKL... (640x480)");
    // Six double-byte characters are exactly 12 bytes.
    EXPECT_EQ(FormatCaptureTitle("カメラ１２３", 1, 2), "Quillomat - カメラ１２３ (1x2)");
    // 11 bytes and a double-byte character: the character does not fit.
    EXPECT_EQ(FormatCaptureTitle("ABCDEFGHIJKカ", 320, 240),
              "Quillomat - ABCDEFGHIJK... (320x240)");
    EXPECT_EQ(FormatCaptureTitle("", 320, 240), "Quillomat -  (320x240)");
}

TEST(ParseTestDevices, NamesModesAndOptionsInGivenOrder) {
    std::vector<std::string> errors;
    const auto devices = ParseTestDevices(
        "Zeta,Cam:still,Cam:fail,Cam:fail=30:stop=5,Pro:bars:640x480:controls,,Odd\\,Name\\:1:"
        "wobble",
        &errors);
    ASSERT_EQ(devices.size(), 6u);
    EXPECT_EQ(devices[0].name, "Zeta");
    EXPECT_EQ(devices[0].picture, TestDeviceSpec::Picture::kMovingBall);
    EXPECT_FALSE(devices[0].fail_after_frames);
    EXPECT_EQ(devices[0].fixed_width, 0);
    EXPECT_EQ(devices[1].picture, TestDeviceSpec::Picture::kStill);
    EXPECT_EQ(devices[2].fail_after_frames, 0);
    EXPECT_EQ(devices[3].fail_after_frames, 30);
    EXPECT_EQ(devices[3].stop_after_frames, 5);
    EXPECT_EQ(devices[4].picture, TestDeviceSpec::Picture::kScrollingBars);
    EXPECT_EQ(devices[4].fixed_width, 640);
    EXPECT_EQ(devices[4].fixed_height, 480);
    EXPECT_TRUE(devices[4].controls);
    EXPECT_EQ(devices[5].name, "Odd,Name:1");
    EXPECT_FALSE(devices[4].mjpeg);
    EXPECT_FALSE(devices[1].counter);
    EXPECT_TRUE(ParseTestDevices("N:still:counter")[0].counter);

    const auto jpeg = ParseTestDevices("J:mjpeg:corrupt=3,K:corrupt=0", &errors);
    ASSERT_EQ(jpeg.size(), 2u);
    EXPECT_TRUE(jpeg[0].mjpeg);
    EXPECT_EQ(jpeg[0].corrupt_frame, 3);
    EXPECT_FALSE(jpeg[1].corrupt_frame) << "frames count from 1";
    EXPECT_TRUE(jpeg[0].unplugged_file.empty());
    const auto plug = ParseTestDevices("P:unplugged=/tmp/a\\:b");
    ASSERT_EQ(plug.size(), 1u);
    EXPECT_EQ(plug[0].unplugged_file, "/tmp/a:b");
    ASSERT_EQ(errors.size(), 2u);
    errors.erase(errors.begin() + 1);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("wobble"), std::string::npos);

    const auto real = ParseTestDevices("R:bars:warmup=1500:stale=5:hang=40,S");
    ASSERT_EQ(real.size(), 2u);
    EXPECT_EQ(real[0].warmup_ms, 1500);
    EXPECT_EQ(real[0].stale_frames, 5);
    EXPECT_EQ(real[0].hang_after_frames, 40);
    EXPECT_EQ(real[1].warmup_ms, 0);
    EXPECT_EQ(real[1].stale_frames, 0);
    EXPECT_FALSE(real[1].hang_after_frames);

    errors.clear();
    EXPECT_TRUE(ParseTestDevices("", &errors).empty());
    ParseTestDevices("A:0x480,B:fail=-1,C:stop=,D:15x480,E:warmup=-5,F:hang=", &errors);
    EXPECT_EQ(errors.size(), 6u);
    EXPECT_EQ(ParseTestDevices("E:16x16")[0].fixed_width, 16);
}

}  // namespace

namespace {

TEST(ListEachDeviceOnce, OneEntryPerNodeInNodeOrder) {
    const std::vector<DeviceIdentity> devices = {
        {"/dev/video10", "USB Cam"}, {"/dev/video2", "Capture Card"},
        {"/dev/video0", "Built-in"}, {"/dev/video2", "Capture Card (PipeWire)"},
        {"", "Network Cam"},         {"", "Another"},
        {"/dev/video0", "Built-in"}};
    // Node order with numbers compared as numbers; the first listing of a
    // node wins; sources without a node come first, by name.
    EXPECT_EQ(ListEachDeviceOnce(devices), (std::vector<std::size_t>{5, 4, 2, 1, 0}));
    EXPECT_TRUE(ListEachDeviceOnce({}).empty());
}

}  // namespace

TEST(IsNetworkAddress, HttpHttpsAndRtspAddressesAreNetworkCameras) {
    for (const char* name : {"http://10.0.0.5/video", "HTTPS://cam.local/mjpg", "rtsp://cam/1"})
        EXPECT_TRUE(IsNetworkAddress(name)) << name;
    for (const char* name : {"http://", "ftp://cam/1", "Cam (2)", "USB http://x", ""})
        EXPECT_FALSE(IsNetworkAddress(name)) << name;
}

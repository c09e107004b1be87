// What counts as motion beyond the level: a light that goes out is no
// motion with LIGHTSWITCH_PERCENT, one changed measurement is none with
// MIN_FRAMES, and real motion is stored with both.
#include <gtest/gtest.h>

#include "app/headless_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class HeadlessMotionTest : public HeadlessDiaryTest {
protected:
    // A still scene measured every 100 ms, whose light goes out once the
    // worker has measured it: the number of motion pictures said within 3 s
    // (or once one is said, when `wait_for_one`).
    int MotionAfterLightsOut(const std::vector<std::string>& motion_section, bool wait_for_one) {
        const fs::path dark = home_.path() / "dark";
        // The counter's corner never settles: no settle wait before each grab.
        std::vector<std::string> extra = {"MOTION_DETECT_UPDATE=100", "MOTION_DETECT_INTERVAL=1",
                                          "[CAPTURE]", "SETTLE_MAX_MS=0"};
        extra.insert(extra.end(), motion_section.begin(), motion_section.end());
        WriteSetup(1, true, extra);
        WriteDevice("Cam", 320, 240);
        Start("Cam:still:counter:dark=" + dark.string());
        // A pass stores its interval picture, then measures: with the third
        // picture the motion reference holds the lit scene, and the run is
        // older than MOTION_DETECT_INTERVAL, the least time to the first
        // motion picture.
        EXPECT_TRUE(WaitForPictures(3)) << Transcript();
        const std::size_t before = PictureCount();
        WriteFileBytes(dark, "");
        if (wait_for_one) {
            EXPECT_TRUE(
                WaitUntil([&] { return process_.CountLogLines(kMotionLine) > 0; }, kConditionLimit))
                << Transcript();
        } else {
            std::this_thread::sleep_for(3s);
            // The dark scene was measured: passes, each with its interval
            // picture, went on.
            EXPECT_GE(PictureCount(), before + 2) << Transcript();
        }
        StopAndExpectCleanExit();
        return process_.CountLogLines(kMotionLine);
    }
};

TEST_F(HeadlessMotionTest, LightsOutIsMotionOnlyWithoutTheLightOption) {
    EXPECT_EQ(MotionAfterLightsOut({}, true), 1) << "as designed, the change is motion";
}

TEST_F(HeadlessMotionTest, LightsOutIsNoMotionWithTheLightOption) {
    EXPECT_EQ(MotionAfterLightsOut({"[MOTION]", "LIGHTSWITCH_PERCENT=30"}, false), 0);
}

TEST_F(HeadlessMotionTest, OneChangedMeasurementIsNoMotionWhenMotionMustLast) {
    EXPECT_EQ(MotionAfterLightsOut({"[MOTION]", "MIN_FRAMES=2"}, false), 0);
}

// The moving ball changes every measurement: with both options on, it is
// still stored as motion.
TEST_F(HeadlessMotionTest, RealMotionIsStoredWithBothOptions) {
    WriteSetup(
        0, true,
        {"MOTION_DETECT_LEVEL=1", "MOTION_DETECT_UPDATE=100", "MOTION_DETECT_INTERVAL=1",
         "[CAPTURE]", "SETTLE_MAX_MS=0", "[MOTION]", "LIGHTSWITCH_PERCENT=30", "MIN_FRAMES=3"});
    WriteDevice("Cam", 320, 240);
    Start("Cam");
    EXPECT_TRUE(
        WaitUntil([&] { return process_.CountLogLines(kMotionLine) >= 2; }, kConditionLimit))
        << Transcript();
    StopAndExpectCleanExit();
}

}  // namespace

#include "capture/preview_graph.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "capture/device_names.h"
#include "capture_fakes.h"
#include "support/fake_clock.h"

namespace {

using namespace std::chrono_literals;

class PreviewGraphTest : public ::testing::Test {
protected:
    RecordingPrompts prompts;
    FakeClock clock;
    int motion_stops = 0;
    PreviewGraph graph{prompts, clock, [this] { ++motion_stops; }, false};
};

TEST_F(PreviewGraphTest, RefusesSilentlyWithoutAUsableDevice) {
    ScopedTestDevices devices("Cam,Cam");
    EXPECT_FALSE(graph.BuildPreviewGraph({"", 320, 240, 333333}));
    EXPECT_FALSE(graph.BuildPreviewGraph({"Cam (1)", 0, 240, 333333}));
    EXPECT_FALSE(graph.BuildPreviewGraph({"Cam", 320, 240, 333333}))
        << "the list names carry their suffix";
    EXPECT_FALSE(graph.ready());
    EXPECT_TRUE(prompts.messages().empty());

    devices.Set("");
    EXPECT_FALSE(graph.BuildPreviewGraph({"Cam (1)", 320, 240, 333333}));
    EXPECT_EQ(prompts.messages(), std::vector<std::string>{kNoVideoDeviceMessage});
}

TEST_F(PreviewGraphTest, KeepsBufferingOnForTheMotionThreadAndFeedsThePreview) {
    ScopedTestDevices devices("Cam,Cam:bars");
    ASSERT_TRUE(graph.BuildPreviewGraph({"Cam (2)", 160, 120, 333333}));
    EXPECT_TRUE(graph.ready());
    EXPECT_EQ(motion_stops, 1) << "a build starts with a release";
    EXPECT_EQ(graph.ConnectedFormat(), (FrameFormat{160, 120}));
    std::vector<std::uint8_t> frame(FrameFormat{160, 120}.SizeBytes());
    bool copied = false;
    for (int i = 0; i < 300 && !copied; ++i) {
        copied = graph.CopyCurrentBuffer(frame.data(), frame.size());
        if (!copied) std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(copied);
    const auto preview = graph.Preview()->TakePreviewFrame(0);
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->width, 160);
    EXPECT_EQ(graph.Preview()->TakePreviewFrame(preview->sequence + 1000), nullptr);
    const std::vector<std::uint8_t> top_row(preview->pixels, preview->pixels + 160 * 3);

    graph.ReleasePreviewGraph();
    EXPECT_FALSE(graph.ready());
    EXPECT_EQ(motion_stops, 2);
    EXPECT_FALSE(graph.CopyCurrentBuffer(frame.data(), frame.size()));
    // A frame taken before the release stays valid.
    EXPECT_EQ(preview->height, 120);
    EXPECT_EQ(std::vector<std::uint8_t>(preview->pixels, preview->pixels + 160 * 3), top_row);
}

}  // namespace

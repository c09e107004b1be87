// Motion-JPEG cameras: which of a device's offers the graph takes, the
// decoding of single frames, and a Motion-JPEG test device through the graph.
#include <gst/app/gstappsink.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "capture/capture_graph.h"
#include "capture/device_formats.h"
#include "capture/device_list.h"
#include "capture/frame_grab.h"
#include "capture/graph_state.h"
#include "capture/jpeg_decoder.h"
#include "capture_fakes.h"
#include "events/diary_event.h"
#include "platform/clock.h"
#include "settings/shared_settings.h"

namespace {

// A webcam as they commonly are: raw only at small sizes or low rates,
// Motion-JPEG at every size at full rate.
CapsHandle WebcamOffers() {
    return CapsHandle::Take(gst_caps_from_string(
        "video/x-raw, format=YUY2, width=320, height=240, framerate={ 30/1, 15/1 }; "
        "video/x-raw, format=YUY2, width=1280, height=720, framerate=10/1; "
        "image/jpeg, width=320, height=240, framerate=30/1; "
        "image/jpeg, width=1280, height=720, framerate={ 30/1, 15/1 }"));
}

std::string MediaOf(const CapsHandle& caps) {
    return caps ? gst_structure_get_name(gst_caps_get_structure(caps.get(), 0)) : "none";
}

TEST(ChooseDeviceFormat, RawWhenOfferedAtTheRateMotionJpegOtherwise) {
    ASSERT_TRUE(EnsureGstreamer());
    const CapsHandle offers = WebcamOffers();
    DeviceFormat chosen;
    // Both kinds at the rate: raw, nothing to decode.
    EXPECT_EQ(MediaOf(ChooseDeviceFormat(offers.get(), {320, 240, 333333}, chosen)), "video/x-raw");
    EXPECT_EQ(chosen, (DeviceFormat{320, 240, 333333}));
    // The large size at full rate only as Motion-JPEG.
    EXPECT_EQ(MediaOf(ChooseDeviceFormat(offers.get(), {1280, 720, 333333}, chosen)), "image/jpeg");
    EXPECT_EQ(chosen, (DeviceFormat{1280, 720, 333333}));
    // At the low rate raw gives it.
    EXPECT_EQ(MediaOf(ChooseDeviceFormat(offers.get(), {1280, 720, 1000000}, chosen)),
              "video/x-raw");
    EXPECT_EQ(chosen, (DeviceFormat{1280, 720, 1000000}));
    // A rate neither gives: Motion-JPEG's nearest.
    EXPECT_EQ(MediaOf(ChooseDeviceFormat(offers.get(), {1280, 720, 2000000}, chosen)),
              "image/jpeg");
    EXPECT_EQ(chosen, (DeviceFormat{1280, 720, 666667}));
    // A size it does not offer: nothing is written.
    EXPECT_FALSE(ChooseDeviceFormat(offers.get(), {640, 480, 333333}, chosen));

    const CapsHandle raw_only = CapsHandle::Take(
        gst_caps_from_string("video/x-raw, format=YUY2, width=320, height=240, framerate=15/1"));
    EXPECT_EQ(MediaOf(ChooseDeviceFormat(raw_only.get(), {320, 240, 333333}, chosen)),
              "video/x-raw");
    EXPECT_EQ(chosen, (DeviceFormat{320, 240, 666667}));
}

// One JPEG of the colour bars, made by GStreamer's own encoder.
BufferHandle EncodedBars(int width, int height) {
    GstElement* pipeline = gst_parse_launch(
        ("videotestsrc num-buffers=1 pattern=smpte ! video/x-raw,width=" + std::to_string(width) +
         ",height=" + std::to_string(height) + " ! jpegenc ! appsink name=out")
            .c_str(),
        nullptr);
    if (pipeline == nullptr) return {};
    ElementHandle owned = ElementHandle::Sink(pipeline);
    ElementHandle sink = ElementHandle::Take(gst_bin_get_by_name(GST_BIN(pipeline), "out"));
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    SampleHandle sample =
        SampleHandle::Take(gst_app_sink_try_pull_sample(GST_APP_SINK(sink.get()), 10 * GST_SECOND));
    gst_element_set_state(pipeline, GST_STATE_NULL);
    if (!sample) return {};
    return BufferHandle::Add(gst_sample_get_buffer(sample.get()));
}

BufferHandle Bytes(const std::vector<std::uint8_t>& bytes) {
    return BufferHandle::Take(gst_buffer_new_memdup(bytes.data(), bytes.size()));
}

TEST(JpegDecoder, DamagedFramesFailAndTheNextWholeOneDecodes) {
    ASSERT_TRUE(EnsureGstreamer());
    const BufferHandle bars = EncodedBars(64, 48);
    ASSERT_TRUE(bars);
    JpegDecoder decoder;
    GstVideoInfo info;
    BufferHandle picture;
    ASSERT_TRUE(decoder.Decode(bars.get(), 64, 48, info, picture));
    EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&info), 64);
    EXPECT_EQ(GST_VIDEO_INFO_HEIGHT(&info), 48);
    ASSERT_TRUE(picture);
    EXPECT_GE(gst_buffer_get_size(picture.get()), GST_VIDEO_INFO_SIZE(&info));

    // No picture at all, garbage, a picture cut after its header.
    GstMapInfo map;
    ASSERT_TRUE(gst_buffer_map(bars.get(), &map, GST_MAP_READ));
    const std::vector<std::uint8_t> whole(map.data, map.data + map.size);
    gst_buffer_unmap(bars.get(), &map);
    const std::vector<std::vector<std::uint8_t>> damaged = {
        {0xff, 0xd8, 0xff, 0xd9},
        std::vector<std::uint8_t>(500, 0x5a),
        std::vector<std::uint8_t>(whole.begin(), whole.begin() + 300),
    };
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        BufferHandle out;
        EXPECT_FALSE(decoder.Decode(Bytes(damaged[i]).get(), 64, 48, info, out)) << "case " << i;
        // A cut picture may come out padded, but never as the previous one.
        EXPECT_FALSE(out && out.get() == picture.get()) << "case " << i;
        picture.reset();
        ASSERT_TRUE(decoder.Decode(bars.get(), 64, 48, info, picture)) << "after case " << i;
    }

    // Streams from the network name no size in their caps: it is read from
    // the frame header, and a frame without one has none.
    int width = 0, height = 0;
    ASSERT_TRUE(JpegPictureSize(bars.get(), width, height));
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 48);
    // The cut picture keeps its header, so only the first two have no size.
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_FALSE(JpegPictureSize(Bytes(damaged[i]).get(), width, height)) << "case " << i;

    // A size change of the stream is followed.
    const BufferHandle larger = EncodedBars(96, 64);
    ASSERT_TRUE(decoder.Decode(larger.get(), 96, 64, info, picture));
    EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&info), 96);
}

// Yellow of the colour bars (blue low, green and red high) in one BGR row.
bool HasYellow(const std::uint8_t* row, int width) {
    for (int x = 0; x < width; ++x) {
        const std::uint8_t* p = row + x * 3;
        if (p[0] < 64 && p[1] > 128 && p[2] > 128) return true;
    }
    return false;
}

TEST(MotionJpegDevice, OffersOnlyMotionJpegAndGrabsDecodedBottomUpFrames) {
    ScopedTestDevices devices("Jpeg:mjpeg:bars");
    GraphState state;
    SharedSettings settings;
    settings.Update([](DiarySettings& s) {
        s.SELECT = "Jpeg";
        s.WIDTH = 640;
        s.HEIGHT = 480;
        s.FRAMERATE = 333333;
    });
    StopSignal stop;
    NoEventPublisher events;
    FakeWorker worker{stop};
    RecordingPrompts prompts;
    ScriptedChooser chooser;
    ScriptedDialogs dialogs;
    RecordingWindow window;
    CaptureGraph graph(CaptureGraphServices{state, settings, worker, prompts, chooser, &dialogs,
                                            window, SystemClockInstance(), stop, events, false});
    ASSERT_TRUE(graph.BuildCaptureGraph(false, true));
    EXPECT_TRUE(prompts.messages().empty());
    ASSERT_FALSE(dialogs.offered.empty());
    EXPECT_TRUE(std::all_of(dialogs.offered.begin(), dialogs.offered.end(),
                            [](const DeviceFormatOffer& o) { return o.motion_jpeg; }));
    EXPECT_EQ(graph.ConnectedFormat(), (FrameFormat{640, 480}));

    const FrameFormat format{640, 480};
    std::vector<std::uint8_t> buffer(format.SizeBytes());
    const GrabContext context{graph, state, SystemClockInstance(), stop};
    const GrabResult result = GrabFreshFrame(context, GrabCaller::kSnapshot, [&](std::size_t size) {
        return size == buffer.size() ? buffer.data() : nullptr;
    });
    ASSERT_EQ(result.outcome, GrabOutcome::kFresh);
    EXPECT_FALSE(HasYellow(&buffer[0], 640)) << "the first row stored is the picture's bottom";
    EXPECT_TRUE(HasYellow(&buffer[format.Stride() * 479], 640));
    worker.StopDiaryWorker();
}

}  // namespace

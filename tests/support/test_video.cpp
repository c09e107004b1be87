#include "support/test_video.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <jpeglib.h>

#include <algorithm>
#include <cstdlib>

#include "capture/device_list.h"
#include "capture/gst_handle.h"

std::string TestJpegBytes(int width, int height, int level, int index, TestJpegKind kind) {
    const int components = kind == TestJpegKind::kGray ? 1 : 3;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long out_size = 0;
    jpeg_mem_dest(&cinfo, &out, &out_size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    if (kind == TestJpegKind::kRgb) jpeg_set_colorspace(&cinfo, JCS_RGB);
    if (kind == TestJpegKind::kYuv444) {
        cinfo.comp_info[0].h_samp_factor = 1;
        cinfo.comp_info[0].v_samp_factor = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);
    const int side = std::max(2, height / 4);
    const int square_x = (index * side / 2) % std::max(1, width - side);
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * components);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            const bool square =
                y >= height / 8 && y < height / 8 + side && x >= square_x && x < square_x + side;
            for (int c = 0; c < components; ++c)
                row[static_cast<std::size_t>(x) * components + c] =
                    static_cast<unsigned char>(square ? 255 : level);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string bytes(reinterpret_cast<const char*>(out), out_size);
    std::free(out);
    return bytes;
}

double VideoLumaOf(int level) { return 16.0 + level * 219.0 / 255.0; }

DecodedVideo DecodeVideoFile(const std::string& path) {
    DecodedVideo video;
    if (!EnsureGstreamer()) {
        video.error = "no GStreamer";
        return video;
    }
    GError* raw_error = nullptr;
    ElementHandle pipeline = ElementHandle::Sink(
        gst_parse_launch("filesrc name=in ! matroskademux ! vp8dec ! video/x-raw,format=I420 ! "
                         "appsink name=out sync=false",
                         &raw_error));
    ErrorHandle error = ErrorHandle::Take(raw_error);
    if (!pipeline || error) {
        video.error = error ? error->message : "no pipeline";
        return video;
    }
    ElementHandle in = ElementHandle::Take(gst_bin_get_by_name(GST_BIN(pipeline.get()), "in"));
    ElementHandle out = ElementHandle::Take(gst_bin_get_by_name(GST_BIN(pipeline.get()), "out"));
    g_object_set(in.get(), "location", path.c_str(), nullptr);
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    for (;;) {
        SampleHandle sample = SampleHandle::Take(
            gst_app_sink_try_pull_sample(GST_APP_SINK(out.get()), 30 * GST_SECOND));
        if (!sample) break;
        GstVideoInfo info;
        if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get()))) break;
        video.width = GST_VIDEO_INFO_WIDTH(&info);
        video.height = GST_VIDEO_INFO_HEIGHT(&info);
        video.fps_n = GST_VIDEO_INFO_FPS_N(&info);
        video.fps_d = GST_VIDEO_INFO_FPS_D(&info);
        GstBuffer* buffer = gst_sample_get_buffer(sample.get());
        MappedVideoFrame frame(info, buffer);
        if (!frame.ok()) break;
        double sum = 0;
        for (int y = video.height / 2; y < video.height; ++y) {
            const guint8* line = frame.plane() + static_cast<std::size_t>(y) * frame.stride();
            for (int x = 0; x < video.width; ++x) sum += line[x];
        }
        video.bottom_luma.push_back(
            sum / (static_cast<double>(video.width) * (video.height - video.height / 2)));
        if (GST_BUFFER_PTS_IS_VALID(buffer) && GST_BUFFER_DURATION_IS_VALID(buffer))
            video.duration_ns = GST_BUFFER_PTS(buffer) + GST_BUFFER_DURATION(buffer);
        ++video.frames;
    }
    BusHandle bus = BusHandle::Take(gst_element_get_bus(pipeline.get()));
    MessageHandle message = MessageHandle::Take(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
    if (message) {
        GError* bus_error = nullptr;
        gst_message_parse_error(message.get(), &bus_error, nullptr);
        ErrorHandle owned = ErrorHandle::Take(bus_error);
        video.error = owned ? owned->message : "error";
    } else if (!gst_app_sink_is_eos(GST_APP_SINK(out.get()))) {
        video.error = "did not reach the end";
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return video;
}

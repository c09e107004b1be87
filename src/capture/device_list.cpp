#include "capture/device_list.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "capture/device_names.h"

namespace {

std::string DeviceString(GstDevice* device, const char* key) {
    GstStructure* props = gst_device_get_properties(device);
    if (props == nullptr) return {};
    StructureHandle owned = StructureHandle::Take(props);
    const gchar* value = gst_structure_get_string(props, key);
    return value != nullptr ? value : "";
}

// The node a camera is reached by; two providers listing the same camera
// (V4L2 and PipeWire) agree on it.
std::string DevicePath(GstDevice* device) {
    for (const char* key : {"api.v4l2.path", "device.path", "object.path"}) {
        std::string path = DeviceString(device, key);
        if (!path.empty() && path.front() == '/') return path;
    }
    return {};
}

std::vector<VideoDevice> SystemDevices(bool& monitor_failed) {
    DeviceMonitorHandle monitor = DeviceMonitorHandle::Take(gst_device_monitor_new());
    gst_device_monitor_add_filter(monitor.get(), "Video/Source", nullptr);
    if (!gst_device_monitor_start(monitor.get())) {
        monitor_failed = true;
        return {};
    }
    std::vector<DeviceHandle> found = TakeDeviceList(gst_device_monitor_get_devices(monitor.get()));
    gst_device_monitor_stop(monitor.get());
    std::vector<DeviceIdentity> identities;
    for (const DeviceHandle& device : found) {
        GStringHandle name = GStringHandle::Take(gst_device_get_display_name(device.get()));
        identities.push_back({DevicePath(device.get()), name ? name.get() : ""});
    }
    std::vector<VideoDevice> devices;
    for (std::size_t i : ListEachDeviceOnce(identities)) {
        devices.push_back(VideoDevice{identities[i].name, std::move(found[i]), std::nullopt, {}});
    }
    return devices;
}

struct FrameCounter {
    std::atomic<int> frames{0};
    int fail_after = 0;
};

// Runs on the streaming thread: counts and, past the limit, fails the push
// as a camera that was pulled out would.
GstPadProbeReturn FailAfterFrames(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* counter = static_cast<FrameCounter*>(data);
    if (counter->frames.fetch_add(1) < counter->fail_after) return GST_PAD_PROBE_OK;
    GST_PAD_PROBE_INFO_FLOW_RETURN(info) = GST_FLOW_ERROR;
    BufferHandle::Take(GST_PAD_PROBE_INFO_BUFFER(info));
    GST_PAD_PROBE_INFO_DATA(info) = nullptr;
    return GST_PAD_PROBE_HANDLED;
}

void DeleteFrameCounter(gpointer data) { delete static_cast<FrameCounter*>(data); }

// Runs on the streaming thread: a device unplugged meanwhile fails its push.
GstPadProbeReturn FailWhileUnplugged(GstPad*, GstPadProbeInfo* info, gpointer data) {
    if (!IsUnplugged(*static_cast<const TestDeviceSpec*>(data))) return GST_PAD_PROBE_OK;
    GST_PAD_PROBE_INFO_FLOW_RETURN(info) = GST_FLOW_ERROR;
    BufferHandle::Take(GST_PAD_PROBE_INFO_BUFFER(info));
    GST_PAD_PROBE_INFO_DATA(info) = nullptr;
    return GST_PAD_PROBE_HANDLED;
}

void DeleteSpec(gpointer data) { delete static_cast<TestDeviceSpec*>(data); }

struct CorruptFrame {
    std::atomic<int> frames{0};
    int corrupt = 0;
};

// Runs on the streaming thread: the chosen frame becomes a JPEG with no
// picture in it (start and end of image only), which no decoder accepts.
GstPadProbeReturn CorruptOneFrame(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* counter = static_cast<CorruptFrame*>(data);
    if (counter->frames.fetch_add(1) + 1 != counter->corrupt) return GST_PAD_PROBE_OK;
    const BufferHandle whole = BufferHandle::Take(GST_PAD_PROBE_INFO_BUFFER(info));
    static const guint8 kEmptyJpeg[] = {0xff, 0xd8, 0xff, 0xd9};
    GstBuffer* damaged = gst_buffer_new_memdup(kEmptyJpeg, sizeof kEmptyJpeg);
    gst_buffer_copy_into(damaged, whole.get(), GST_BUFFER_COPY_METADATA, 0, 0);
    GST_PAD_PROBE_INFO_DATA(info) = damaged;
    return GST_PAD_PROBE_OK;
}

void DeleteCorruptFrame(gpointer data) { delete static_cast<CorruptFrame*>(data); }

// Runs on the streaming thread, before any encoder: the first luma byte of a
// YUY2 frame is its top left pixel's brightness; the count cycles within the
// video range.
GstPadProbeReturn NumberFrame(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* counter = static_cast<std::atomic<int>*>(data);
    const int number = counter->fetch_add(1);
    GstBuffer* buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    GstMapInfo map;
    if (gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        if (map.size > 0) map.data[0] = static_cast<guint8>(16 + number % 220);
        gst_buffer_unmap(buffer, &map);
    }
    return GST_PAD_PROBE_OK;
}

void DeleteNumberCounter(gpointer data) { delete static_cast<std::atomic<int>*>(data); }

// Counters start again with each start of the graph, as the frame limits do.
GstPadProbeReturn RestartCount(GstPad*, GstPadProbeInfo* info, gpointer data) {
    if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_STREAM_START)
        static_cast<CorruptFrame*>(data)->frames.store(0);
    return GST_PAD_PROBE_OK;
}

// Runs on the streaming thread, on the raw YUY2 frames: after each start the
// picture fades in from black (luma 16, neutral chroma) to what it is, over
// the device's warm-up, as a camera's automatic exposure brings it up. The
// time is the frame's own stamp, which starts again at every start.
GstPadProbeReturn FadeInFromBlack(GstPad*, GstPadProbeInfo* info, gpointer data) {
    const auto warmup = static_cast<GstClockTime>(*static_cast<int*>(data)) * GST_MSECOND;
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    if (!GST_CLOCK_TIME_IS_VALID(pts) || pts >= warmup) return GST_PAD_PROBE_OK;
    const double share = static_cast<double>(pts) / static_cast<double>(warmup);
    buffer = gst_buffer_make_writable(buffer);
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    GstMapInfo map;
    if (gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        // YUY2: luma in the even bytes, chroma in the odd ones.
        for (gsize i = 0; i + 1 < map.size; i += 2) {
            map.data[i] = static_cast<guint8>(16 + (map.data[i] - 16) * share);
            map.data[i + 1] = static_cast<guint8>(128 + (map.data[i + 1] - 128) * share);
        }
        gst_buffer_unmap(buffer, &map);
    }
    return GST_PAD_PROBE_OK;
}

void DeleteInt(gpointer data) { delete static_cast<int*>(data); }

struct StaleFrames {
    int count = 0;
    // Both used on the streaming thread only.
    int since_start = 0;
    BufferHandle last;
};

// Runs on the streaming thread, after any encoder: the first frames after
// each start are the last frame before the stop once more, stamped at the
// start of the stream, as v4l2src stamps a frame it captured before it was
// started.
GstPadProbeReturn RepeatLastFrame(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* stale = static_cast<StaleFrames*>(data);
    if ((GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) != 0) {
        if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_STREAM_START)
            stale->since_start = 0;
        return GST_PAD_PROBE_OK;
    }
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (stale->since_start++ < stale->count && stale->last) {
        GstBuffer* repeated = gst_buffer_copy(stale->last.get());
        GST_BUFFER_PTS(repeated) = 0;
        GST_BUFFER_DTS(repeated) = GST_CLOCK_TIME_NONE;
        BufferHandle::Take(buffer);
        GST_PAD_PROBE_INFO_DATA(info) = repeated;
        return GST_PAD_PROBE_OK;
    }
    stale->last = BufferHandle::Add(buffer);
    return GST_PAD_PROBE_OK;
}

void DeleteStaleFrames(gpointer data) { delete static_cast<StaleFrames*>(data); }

// Runs on the streaming thread: past the limit the thread never returns, and
// whoever stops the device waits for it for good.
GstPadProbeReturn HangAfterFrames(GstPad*, GstPadProbeInfo*, gpointer data) {
    auto* counter = static_cast<FrameCounter*>(data);
    if (counter->frames.fetch_add(1) < counter->fail_after) return GST_PAD_PROBE_OK;
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

ElementHandle Make(const char* factory) {
    return ElementHandle::Sink(gst_element_factory_make(factory, nullptr));
}

ElementHandle CreateTestSource(const TestDeviceSpec& spec) {
    ElementHandle bin = ElementHandle::Sink(gst_bin_new(nullptr));
    ElementHandle src = Make("videotestsrc");
    ElementHandle caps = Make("capsfilter");
    ElementHandle balance = spec.controls ? Make("videobalance") : ElementHandle();
    ElementHandle encoder = spec.mjpeg ? Make("jpegenc") : ElementHandle();
    if (!bin || !src || !caps || (spec.controls && !balance) || (spec.mjpeg && !encoder)) return {};

    g_object_set(src.get(), "is-live", TRUE, nullptr);
    switch (spec.picture) {
        case TestDeviceSpec::Picture::kMovingBall:
            gst_util_set_object_arg(G_OBJECT(src.get()), "pattern", "ball");
            // By the clock, not the frame count: the count starts again at
            // every start of the graph, so each picture would show the same
            // ball, and a stale frame could not be told from a fresh one.
            gst_util_set_object_arg(G_OBJECT(src.get()), "animation-mode", "wall-time");
            break;
        case TestDeviceSpec::Picture::kScrollingBars:
            gst_util_set_object_arg(G_OBJECT(src.get()), "pattern", "smpte");
            g_object_set(src.get(), "horizontal-speed", 4, nullptr);
            break;
        case TestDeviceSpec::Picture::kStill:
            gst_util_set_object_arg(G_OBJECT(src.get()), "pattern", "solid-color");
            g_object_set(src.get(), "foreground-color", 0xff3060a0u, nullptr);
            break;
    }
    if (spec.stop_after_frames)
        g_object_set(src.get(), "num-buffers", *spec.stop_after_frames, nullptr);

    // A webcam's own format: YUY2 at any size, or at its one size; the
    // encoder of a Motion-JPEG device takes the same.
    const auto yuy2 = [] {
        return gst_structure_new("video/x-raw", "format", G_TYPE_STRING, "YUY2", "framerate",
                                 GST_TYPE_FRACTION_RANGE, 1, 1, 60, 1, nullptr);
    };
    GstCaps* offered = gst_caps_new_empty();
    if (spec.fixed_width > 0) {
        GstStructure* only = yuy2();
        gst_structure_set(only, "width", G_TYPE_INT, spec.fixed_width, "height", G_TYPE_INT,
                          spec.fixed_height, nullptr);
        gst_caps_append_structure(offered, only);
    } else {
        // Its own size first, so that a request it cannot give leaves the
        // source and the graph's size query at one size, as a camera's list
        // of sizes does.
        GstStructure* own = yuy2();
        gst_structure_set(own, "width", G_TYPE_INT, 320, "height", G_TYPE_INT, 240, nullptr);
        gst_caps_append_structure(offered, own);
        GstStructure* any = yuy2();
        gst_structure_set(any, "width", GST_TYPE_INT_RANGE, kTestDeviceMinSide, 4096, "height",
                          GST_TYPE_INT_RANGE, kTestDeviceMinSide, 4096, nullptr);
        gst_caps_append_structure(offered, any);
    }
    g_object_set(caps.get(), "caps", offered, nullptr);
    CapsHandle::Take(offered);

    gst_bin_add_many(GST_BIN(bin.get()), src.get(), caps.get(), nullptr);
    GstElement* last = caps.get();
    if (!gst_element_link(src.get(), caps.get())) return {};
    if (balance) {
        gst_bin_add(GST_BIN(bin.get()), balance.get());
        if (!gst_element_link(caps.get(), balance.get())) return {};
        last = balance.get();
    }
    if (encoder) {
        gst_bin_add(GST_BIN(bin.get()), encoder.get());
        if (!gst_element_link(last, encoder.get())) return {};
        last = encoder.get();
        if (spec.corrupt_frame) {
            PadHandle encoded = PadHandle::Take(gst_element_get_static_pad(last, "src"));
            auto* counter = new CorruptFrame;
            counter->corrupt = *spec.corrupt_frame;
            gst_pad_add_probe(encoded.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, RestartCount,
                              counter, nullptr);
            gst_pad_add_probe(encoded.get(), GST_PAD_PROBE_TYPE_BUFFER, CorruptOneFrame, counter,
                              DeleteCorruptFrame);
        }
    }
    PadHandle last_pad = PadHandle::Take(gst_element_get_static_pad(last, "src"));
    gst_element_add_pad(bin.get(), gst_ghost_pad_new("src", last_pad.get()));
    if (spec.stale_frames > 0) {
        auto* stale = new StaleFrames;
        stale->count = spec.stale_frames;
        gst_pad_add_probe(last_pad.get(),
                          static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                                       GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                          RepeatLastFrame, stale, DeleteStaleFrames);
    }

    if (!spec.unplugged_file.empty()) {
        PadHandle src_pad = PadHandle::Take(gst_element_get_static_pad(src.get(), "src"));
        gst_pad_add_probe(src_pad.get(), GST_PAD_PROBE_TYPE_BUFFER, FailWhileUnplugged,
                          new TestDeviceSpec(spec), DeleteSpec);
    }
    if (spec.warmup_ms > 0) {
        PadHandle src_pad = PadHandle::Take(gst_element_get_static_pad(src.get(), "src"));
        gst_pad_add_probe(src_pad.get(), GST_PAD_PROBE_TYPE_BUFFER, FadeInFromBlack,
                          new int(spec.warmup_ms), DeleteInt);
    }
    if (spec.counter) {
        PadHandle src_pad = PadHandle::Take(gst_element_get_static_pad(src.get(), "src"));
        gst_pad_add_probe(src_pad.get(), GST_PAD_PROBE_TYPE_BUFFER, NumberFrame,
                          new std::atomic<int>(0), DeleteNumberCounter);
    }
    if (spec.fail_after_frames) {
        PadHandle src_pad = PadHandle::Take(gst_element_get_static_pad(src.get(), "src"));
        auto* counter = new FrameCounter;
        counter->fail_after = *spec.fail_after_frames;
        gst_pad_add_probe(src_pad.get(), GST_PAD_PROBE_TYPE_BUFFER, FailAfterFrames, counter,
                          DeleteFrameCounter);
    }
    if (spec.hang_after_frames) {
        PadHandle src_pad = PadHandle::Take(gst_element_get_static_pad(src.get(), "src"));
        auto* counter = new FrameCounter;
        counter->fail_after = *spec.hang_after_frames;
        gst_pad_add_probe(src_pad.get(), GST_PAD_PROBE_TYPE_BUFFER, HangAfterFrames, counter,
                          DeleteFrameCounter);
    }
    return bin;
}

// The stream's video reaches the bin's "src" pad once the demuxer or the
// decoder has found it.
void TargetVideoPad(GstElement*, GstPad* pad, gpointer ghost) {
    auto* src = GST_GHOST_PAD(ghost);
    PadHandle current = PadHandle::Take(gst_ghost_pad_get_target(src));
    if (current) return;
    CapsHandle caps = CapsHandle::Take(gst_pad_query_caps(pad, nullptr));
    if (!caps || gst_caps_is_empty(caps.get())) return;
    const GstStructure* s = gst_caps_get_structure(caps.get(), 0);
    if (!gst_structure_has_name(s, "image/jpeg") && !gst_structure_has_name(s, "video/x-raw"))
        return;
    gst_ghost_pad_set_target(src, pad);
}

// Motion-JPEG over HTTP (multipart/x-mixed-replace), as network cameras
// serve it, is demultiplexed and left encoded, so only taken frames are
// decoded; any other stream is opened and decoded by uridecodebin.
ElementHandle CreateNetworkSource(const std::string& url) {
    ElementHandle bin = ElementHandle::Sink(gst_bin_new(nullptr));
    if (!bin) return {};
    // The bin takes a reference of its own when the pad is added.
    const PadHandle ghost = PadHandle::Sink(gst_ghost_pad_new_no_target("src", GST_PAD_SRC));
    if (!ghost) return {};
    const bool http = std::tolower(static_cast<unsigned char>(url[0])) == 'h';
    if (http) {
        ElementHandle src = Make("souphttpsrc");
        ElementHandle demux = Make("multipartdemux");
        if (!src || !demux) return {};
        // A server that stops answering ends the stream in seconds, so
        // that the grab's recovery rebuilds it instead of waiting.
        g_object_set(src.get(), "location", url.c_str(), "is-live", TRUE, "do-timestamp", TRUE,
                     "timeout", 5u, nullptr);
        g_object_set(demux.get(), "single-stream", TRUE, nullptr);
        gst_bin_add_many(GST_BIN(bin.get()), src.get(), demux.get(), nullptr);
        if (!gst_element_link(src.get(), demux.get())) return {};
        g_signal_connect(demux.get(), "pad-added", G_CALLBACK(TargetVideoPad), ghost.get());
    } else {
        ElementHandle decode = Make("uridecodebin");
        if (!decode) return {};
        CapsHandle stop_at = CapsHandle::Take(gst_caps_from_string("video/x-raw; image/jpeg"));
        g_object_set(decode.get(), "uri", url.c_str(), "caps", stop_at.get(), nullptr);
        gst_bin_add(GST_BIN(bin.get()), decode.get());
        g_signal_connect(decode.get(), "pad-added", G_CALLBACK(TargetVideoPad), ghost.get());
    }
    gst_element_add_pad(bin.get(), ghost.get());
    return bin;
}

}  // namespace

bool EnsureGstreamer() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = gst_init_check(nullptr, nullptr, nullptr); });
    return ok;
}

DeviceEnumeration EnumerateVideoDevices(bool include_system_devices) {
    DeviceEnumeration result;
    for (TestDeviceSpec& spec : TestDevicesFromEnvironment()) {
        if (IsUnplugged(spec)) continue;
        std::string name = spec.name;
        result.devices.push_back(VideoDevice{std::move(name), {}, std::move(spec), {}});
    }
    if (include_system_devices) {
        for (VideoDevice& device : SystemDevices(result.monitor_failed))
            result.devices.push_back(std::move(device));
    }
    return result;
}

ElementHandle CreateSourceElement(const VideoDevice& device) {
    if (!device.url.empty()) return CreateNetworkSource(device.url);
    if (device.test) return CreateTestSource(*device.test);
    if (!device.device) return {};
    return ElementHandle::Sink(gst_device_create_element(device.device.get(), nullptr));
}

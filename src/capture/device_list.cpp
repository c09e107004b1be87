#include "capture/device_list.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

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

ElementHandle Make(const char* factory) {
    return ElementHandle::Sink(gst_element_factory_make(factory, nullptr));
}

constexpr const char* kFaultsElement = "quillomatfaults";

// The faults of real cameras are no part of the program: the plugin of
// tests/test_devices gives them, loaded from QUILLOMAT_TEST_DEVICE_PLUGIN at
// the first test device that asks for one. False (said once) without it.
bool LoadFaultsPlugin() {
    static std::once_flag once;
    static bool loaded = false;
    std::call_once(once, [] {
        if (ElementFactoryHandle::Take(gst_element_factory_find(kFaultsElement))) {
            loaded = true;
            return;
        }
        const char* path = std::getenv(kTestDevicePluginVariable);
        GError* error = nullptr;
        PluginHandle plugin;
        if (path != nullptr && *path != '\0') {
            plugin = PluginHandle::Take(gst_plugin_load_file(path, &error));
        }
        const ErrorHandle owned_error = ErrorHandle::Take(error);
        loaded = plugin && ElementFactoryHandle::Take(gst_element_factory_find(kFaultsElement));
        if (!loaded) {
            std::fprintf(stderr,
                         "Quillomat: test device faults need %s, the path of the plugin built "
                         "in tests/test_devices (%s)\n",
                         kTestDevicePluginVariable,
                         error != nullptr ? error->message : (path ? path : "unset"));
        }
    });
    return loaded;
}

ElementHandle MakeFaults() {
    if (!LoadFaultsPlugin()) return {};
    return Make(kFaultsElement);
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

    // The faults of the raw frames come before the caps filter, those of the
    // frames as sent after the last element.
    const bool raw_faults = !spec.unplugged_file.empty() || !spec.dark_file.empty() ||
                            spec.warmup_ms > 0 || spec.counter || spec.fail_after_frames ||
                            spec.hang_after_frames;
    const bool sent_faults = spec.stale_frames > 0 || (encoder && spec.corrupt_frame);
    ElementHandle raw = raw_faults ? MakeFaults() : ElementHandle();
    ElementHandle sent = sent_faults ? MakeFaults() : ElementHandle();
    if ((raw_faults && !raw) || (sent_faults && !sent)) return {};
    if (raw) {
        g_object_set(raw.get(), "unplugged-file", spec.unplugged_file.c_str(), "dark-file",
                     spec.dark_file.c_str(), "warmup-ms", spec.warmup_ms, "counter",
                     spec.counter ? TRUE : FALSE, "fail-after", spec.fail_after_frames.value_or(-1),
                     "hang-after", spec.hang_after_frames.value_or(-1), nullptr);
    }
    if (sent) {
        g_object_set(sent.get(), "stale", spec.stale_frames, "corrupt",
                     encoder ? spec.corrupt_frame.value_or(0) : 0, nullptr);
    }

    // The bin holds a reference of each element it takes.
    GstElement* last = nullptr;
    for (const ElementHandle* next : {&src, &raw, &caps, &balance, &encoder, &sent}) {
        if (!*next) continue;
        gst_bin_add(GST_BIN(bin.get()), next->get());
        if (last != nullptr && !gst_element_link(last, next->get())) return {};
        last = next->get();
    }
    PadHandle last_pad = PadHandle::Take(gst_element_get_static_pad(last, "src"));
    gst_element_add_pad(bin.get(), gst_ghost_pad_new("src", last_pad.get()));
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

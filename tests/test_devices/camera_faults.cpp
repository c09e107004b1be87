// "quillomatfaults": a pass-through element that gives a test device the
// faults of a real camera (docs/test-devices.md). The program loads this
// plugin only from QUILLOMAT_TEST_DEVICE_PLUGIN, and only for a test device
// that asks for one of them; it is never installed.
//
// A test device puts one in front of its caps filter (the raw frames: unplugged,
// warmup, counter, fail, hang) and one after its last element (the frames as
// sent: corrupt, stale). Everything but the properties is used on the
// streaming thread only.
#include <gst/gst.h>
#include <unistd.h>

#include <chrono>
#include <thread>

G_BEGIN_DECLS
#define QUILLOMAT_TYPE_FAULTS (quillomat_faults_get_type())
G_DECLARE_FINAL_TYPE(QuillomatFaults, quillomat_faults, QUILLOMAT, FAULTS, GstElement)
G_END_DECLS

struct _QuillomatFaults {
    GstElement parent;
    GstPad* sink;
    GstPad* src;

    gchar* unplugged_file;
    gchar* dark_file;
    gint warmup_ms;
    gboolean counter;
    // -1: never.
    gint fail_after;
    gint hang_after;
    // 0: none.
    gint corrupt;
    gint stale;

    // Counted from the element's making, as a rebuild makes a new one.
    gint failing_count;
    gint hanging_count;
    gint numbered;
    gint darkened;
    // Counted from each start of the stream.
    gint since_start;
    GstBuffer* last;
};

G_DEFINE_TYPE(QuillomatFaults, quillomat_faults, GST_TYPE_ELEMENT)

namespace {

enum Property {
    kUnpluggedFile = 1,
    kWarmupMs,
    kCounter,
    kFailAfter,
    kHangAfter,
    kCorrupt,
    kStale,
    kDarkFile,
};

GstStaticPadTemplate sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);
GstStaticPadTemplate src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);

bool Unplugged(const QuillomatFaults* self) {
    return self->unplugged_file != nullptr && self->unplugged_file[0] != '\0' &&
           ::access(self->unplugged_file, F_OK) == 0;
}

bool Dark(const QuillomatFaults* self) {
    return self->dark_file != nullptr && self->dark_file[0] != '\0' &&
           ::access(self->dark_file, F_OK) == 0;
}

// Black (luma 16, neutral chroma), as a scene at night; the first byte
// counts the frames, as a camera's noise keeps a dark scene's frames apart.
GstBuffer* Blacken(GstBuffer* buffer, int number) {
    buffer = gst_buffer_make_writable(buffer);
    GstMapInfo map;
    if (gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        for (gsize i = 0; i + 1 < map.size; i += 2) {
            map.data[i] = 16;
            map.data[i + 1] = 128;
        }
        if (map.size > 0) map.data[0] = static_cast<guint8>(16 + number % 220);
        gst_buffer_unmap(buffer, &map);
    }
    return buffer;
}

// After each start the picture fades in from black (luma 16, neutral chroma)
// over the warm-up, as a camera's automatic exposure brings it up. The time
// is the frame's own stamp, which starts again at every start.
GstBuffer* FadeInFromBlack(GstBuffer* buffer, int warmup_ms) {
    const auto warmup = static_cast<GstClockTime>(warmup_ms) * GST_MSECOND;
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    if (!GST_CLOCK_TIME_IS_VALID(pts) || pts >= warmup) return buffer;
    const double share = static_cast<double>(pts) / static_cast<double>(warmup);
    buffer = gst_buffer_make_writable(buffer);
    GstMapInfo map;
    if (gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        // YUY2: luma in the even bytes, chroma in the odd ones.
        for (gsize i = 0; i + 1 < map.size; i += 2) {
            map.data[i] = static_cast<guint8>(16 + (map.data[i] - 16) * share);
            map.data[i + 1] = static_cast<guint8>(128 + (map.data[i + 1] - 128) * share);
        }
        gst_buffer_unmap(buffer, &map);
    }
    return buffer;
}

// The first luma byte of a YUY2 frame is its top left pixel's brightness; the
// count cycles within the video range.
GstBuffer* NumberFrame(GstBuffer* buffer, int number) {
    buffer = gst_buffer_make_writable(buffer);
    GstMapInfo map;
    if (gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        if (map.size > 0) map.data[0] = static_cast<guint8>(16 + number % 220);
        gst_buffer_unmap(buffer, &map);
    }
    return buffer;
}

// A JPEG with no picture in it (start and end of image only), which no
// decoder accepts.
GstBuffer* DamagedJpeg(GstBuffer* whole) {
    static const guint8 kEmptyJpeg[] = {0xff, 0xd8, 0xff, 0xd9};
    GstBuffer* damaged = gst_buffer_new_memdup(kEmptyJpeg, sizeof kEmptyJpeg);
    gst_buffer_copy_into(damaged, whole, GST_BUFFER_COPY_METADATA, 0, 0);
    gst_buffer_unref(whole);
    return damaged;
}

GstFlowReturn Chain(GstPad*, GstObject* parent, GstBuffer* buffer) {
    auto* self = QUILLOMAT_FAULTS(parent);
    // A failed push, as a camera that was pulled out gives.
    if (Unplugged(self)) {
        gst_buffer_unref(buffer);
        return GST_FLOW_ERROR;
    }
    if (self->warmup_ms > 0) buffer = FadeInFromBlack(buffer, self->warmup_ms);
    if (Dark(self)) buffer = Blacken(buffer, self->darkened++);
    if (self->counter) buffer = NumberFrame(buffer, self->numbered++);
    if (self->fail_after >= 0 && self->failing_count++ >= self->fail_after) {
        gst_buffer_unref(buffer);
        return GST_FLOW_ERROR;
    }
    if (self->hang_after >= 0 && self->hanging_count++ >= self->hang_after) {
        // A driver that never returns: whoever stops the device waits for
        // good.
        for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    }
    const int number = ++self->since_start;
    if (self->corrupt > 0 && number == self->corrupt) buffer = DamagedJpeg(buffer);
    if (self->stale > 0) {
        if (number <= self->stale && self->last != nullptr) {
            // The last frame before the stop once more, stamped at the start
            // of the stream, as v4l2src stamps a frame it captured before it
            // was started.
            GstBuffer* repeated = gst_buffer_copy(self->last);
            GST_BUFFER_PTS(repeated) = 0;
            GST_BUFFER_DTS(repeated) = GST_CLOCK_TIME_NONE;
            gst_buffer_unref(buffer);
            buffer = repeated;
        } else {
            gst_buffer_replace(&self->last, buffer);
        }
    }
    return gst_pad_push(self->src, buffer);
}

gboolean SinkEvent(GstPad* pad, GstObject* parent, GstEvent* event) {
    if (GST_EVENT_TYPE(event) == GST_EVENT_STREAM_START) QUILLOMAT_FAULTS(parent)->since_start = 0;
    return gst_pad_event_default(pad, parent, event);
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* spec) {
    auto* self = QUILLOMAT_FAULTS(object);
    switch (id) {
        case kUnpluggedFile:
            g_free(self->unplugged_file);
            self->unplugged_file = g_value_dup_string(value);
            break;
        case kDarkFile:
            g_free(self->dark_file);
            self->dark_file = g_value_dup_string(value);
            break;
        case kWarmupMs:
            self->warmup_ms = g_value_get_int(value);
            break;
        case kCounter:
            self->counter = g_value_get_boolean(value);
            break;
        case kFailAfter:
            self->fail_after = g_value_get_int(value);
            break;
        case kHangAfter:
            self->hang_after = g_value_get_int(value);
            break;
        case kCorrupt:
            self->corrupt = g_value_get_int(value);
            break;
        case kStale:
            self->stale = g_value_get_int(value);
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
    }
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* spec) {
    auto* self = QUILLOMAT_FAULTS(object);
    switch (id) {
        case kUnpluggedFile:
            g_value_set_string(value, self->unplugged_file);
            break;
        case kDarkFile:
            g_value_set_string(value, self->dark_file);
            break;
        case kWarmupMs:
            g_value_set_int(value, self->warmup_ms);
            break;
        case kCounter:
            g_value_set_boolean(value, self->counter);
            break;
        case kFailAfter:
            g_value_set_int(value, self->fail_after);
            break;
        case kHangAfter:
            g_value_set_int(value, self->hang_after);
            break;
        case kCorrupt:
            g_value_set_int(value, self->corrupt);
            break;
        case kStale:
            g_value_set_int(value, self->stale);
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
    }
}

void Finalize(GObject* object) {
    auto* self = QUILLOMAT_FAULTS(object);
    g_free(self->unplugged_file);
    g_free(self->dark_file);
    gst_buffer_replace(&self->last, nullptr);
    G_OBJECT_CLASS(quillomat_faults_parent_class)->finalize(object);
}

GParamSpec* IntProperty(const char* name, const char* blurb, int least) {
    return g_param_spec_int(name, name, blurb, least, G_MAXINT, least,
                            static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS));
}

gboolean PluginInit(GstPlugin* plugin) {
    return gst_element_register(plugin, "quillomatfaults", GST_RANK_NONE, QUILLOMAT_TYPE_FAULTS);
}

}  // namespace

static void quillomat_faults_class_init(QuillomatFaultsClass* klass) {
    auto* object_class = G_OBJECT_CLASS(klass);
    object_class->set_property = SetProperty;
    object_class->get_property = GetProperty;
    object_class->finalize = Finalize;
    const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
    g_object_class_install_property(
        object_class, kUnpluggedFile,
        g_param_spec_string("unplugged-file", "unplugged-file",
                            "While this file exists every frame fails", nullptr, flags));
    g_object_class_install_property(
        object_class, kDarkFile,
        g_param_spec_string("dark-file", "dark-file", "While this file exists every frame is black",
                            nullptr, flags));
    g_object_class_install_property(
        object_class, kWarmupMs,
        IntProperty("warmup-ms", "Fade-in from black after each start (ms)", 0));
    g_object_class_install_property(
        object_class, kCounter,
        g_param_spec_boolean("counter", "counter", "Numbers the frames in their first byte", FALSE,
                             flags));
    g_object_class_install_property(object_class, kFailAfter,
                                    IntProperty("fail-after", "Frames before a stream error", -1));
    g_object_class_install_property(
        object_class, kHangAfter,
        IntProperty("hang-after", "Frames before the streaming thread blocks", -1));
    g_object_class_install_property(
        object_class, kCorrupt,
        IntProperty("corrupt", "The frame of each start sent as a damaged JPEG", 0));
    g_object_class_install_property(
        object_class, kStale,
        IntProperty("stale", "Frames of each start that repeat the last one", 0));

    auto* element_class = GST_ELEMENT_CLASS(klass);
    gst_element_class_set_static_metadata(element_class, "Quillomat camera faults", "Filter/Video",
                                          "Faults of a real camera for Quillomat's test devices",
                                          "Quillomat authors");
    gst_element_class_add_static_pad_template(element_class, &sink_template);
    gst_element_class_add_static_pad_template(element_class, &src_template);
}

static void quillomat_faults_init(QuillomatFaults* self) {
    self->fail_after = -1;
    self->hang_after = -1;
    self->sink = gst_pad_new_from_static_template(&sink_template, "sink");
    gst_pad_set_chain_function(self->sink, Chain);
    gst_pad_set_event_function(self->sink, SinkEvent);
    GST_PAD_SET_PROXY_CAPS(self->sink);
    GST_PAD_SET_PROXY_ALLOCATION(self->sink);
    GST_PAD_SET_PROXY_SCHEDULING(self->sink);
    gst_element_add_pad(GST_ELEMENT(self), self->sink);
    self->src = gst_pad_new_from_static_template(&src_template, "src");
    GST_PAD_SET_PROXY_CAPS(self->src);
    GST_PAD_SET_PROXY_ALLOCATION(self->src);
    GST_PAD_SET_PROXY_SCHEDULING(self->src);
    gst_element_add_pad(GST_ELEMENT(self), self->src);
}

// GST_PLUGIN_DEFINE names the package by this macro.
#define PACKAGE "quillomat"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, quillomattest,
                  "Faults of real cameras for Quillomat's test devices", PluginInit, "1", "MIT/X11",
                  "quillomat", "https://quillomat.example.org/")

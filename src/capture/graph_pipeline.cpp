#include "capture/graph_pipeline.h"

#include <gst/app/gstappsink.h>
#include <gst/video/colorbalance.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <numeric>
#include <tuple>

#include "platform/stop_signal.h"

namespace {

constexpr std::int64_t kUnitsPerSecond = 10000000;  // frame intervals count 100 ns units
constexpr int kStateWaitStepMs = 50;
constexpr int kStateWaitMs = 2000;
constexpr const char* kRawMedia = "video/x-raw";
constexpr const char* kJpegMedia = "image/jpeg";

ElementHandle Make(const char* factory) {
    return ElementHandle::Sink(gst_element_factory_make(factory, nullptr));
}

// Only errors and the end of a stream are read; everything else is dropped
// where it is posted, so nothing piles up while nobody looks.
GstBusSyncReply KeepErrorsOnly(GstBus*, GstMessage* message, gpointer) {
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR ||
        GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
        return GST_BUS_PASS;
    }
    MessageHandle::Take(message);
    return GST_BUS_DROP;
}

std::int64_t IntervalOf(int numerator, int denominator) {
    if (numerator <= 0) return 0;
    return static_cast<std::int64_t>(
        std::llround(static_cast<double>(kUnitsPerSecond) * denominator / numerator));
}

// Sizes and rates tried against ranges, as cameras commonly offer them.
constexpr std::pair<int, int> kCommonSizes[] = {{160, 120},  {176, 144},  {320, 240},  {352, 288},
                                                {640, 360},  {640, 480},  {800, 600},  {1024, 768},
                                                {1280, 720}, {1280, 960}, {1920, 1080}};
constexpr int kCommonRates[] = {60, 30, 25, 20, 15, 10, 5};

bool IntFits(const GValue* value, int candidate) {
    if (value == nullptr) return false;
    GValue v = G_VALUE_INIT;
    g_value_init(&v, G_TYPE_INT);
    g_value_set_int(&v, candidate);
    const bool fits = gst_value_intersect(nullptr, &v, value);
    g_value_unset(&v);
    return fits;
}

bool FractionFits(const GValue* value, int numerator, int denominator) {
    GValue v = G_VALUE_INIT;
    g_value_init(&v, GST_TYPE_FRACTION);
    gst_value_set_fraction(&v, numerator, denominator);
    const bool fits = gst_value_intersect(nullptr, &v, value);
    g_value_unset(&v);
    return fits;
}

// The sizes a caps value offers: the values themselves when fixed or listed,
// the common sizes that fit when it is a range.
std::vector<std::pair<int, int>> SizesOf(const GstStructure* s) {
    const GValue* w = gst_structure_get_value(s, "width");
    const GValue* h = gst_structure_get_value(s, "height");
    std::vector<std::pair<int, int>> sizes;
    if (w == nullptr || h == nullptr) return sizes;
    if (G_VALUE_HOLDS_INT(w) && G_VALUE_HOLDS_INT(h)) {
        sizes.emplace_back(g_value_get_int(w), g_value_get_int(h));
        return sizes;
    }
    for (const auto& [cw, ch] : kCommonSizes) {
        if (IntFits(w, cw) && IntFits(h, ch)) sizes.emplace_back(cw, ch);
    }
    return sizes;
}

std::vector<std::int64_t> IntervalsOf(const GstStructure* s) {
    std::vector<std::int64_t> intervals;
    const GValue* rate = gst_structure_get_value(s, "framerate");
    if (rate == nullptr) return intervals;
    if (GST_VALUE_HOLDS_FRACTION(rate)) {
        intervals.push_back(IntervalOf(gst_value_get_fraction_numerator(rate),
                                       gst_value_get_fraction_denominator(rate)));
    } else if (GST_VALUE_HOLDS_LIST(rate)) {
        for (guint i = 0; i < gst_value_list_get_size(rate); ++i) {
            const GValue* item = gst_value_list_get_value(rate, i);
            if (GST_VALUE_HOLDS_FRACTION(item)) {
                intervals.push_back(IntervalOf(gst_value_get_fraction_numerator(item),
                                               gst_value_get_fraction_denominator(item)));
            }
        }
    } else {
        for (int fps : kCommonRates) {
            if (FractionFits(rate, fps, 1)) intervals.push_back(IntervalOf(fps, 1));
        }
    }
    intervals.erase(std::remove(intervals.begin(), intervals.end(), 0), intervals.end());
    return intervals;
}

GstColorBalance* FindColorBalance(GstElement* source, ElementHandle& holder) {
    if (source == nullptr) return nullptr;
    if (GST_IS_COLOR_BALANCE(source)) return GST_COLOR_BALANCE(source);
    if (!GST_IS_BIN(source)) return nullptr;
    holder = ElementHandle::Take(gst_bin_get_by_interface(GST_BIN(source), GST_TYPE_COLOR_BALANCE));
    return holder ? GST_COLOR_BALANCE(holder.get()) : nullptr;
}

struct OwnedPreviewFrame final : PreviewFrame {
    std::vector<std::uint8_t> storage;
};

}  // namespace

// --- FrameSlot ---

void FrameSlot::Attach(ElementHandle appsink, FrameFormat connected) {
    std::lock_guard lock(mutex_);
    appsink_ = std::move(appsink);
    sample_.reset();
    connected_ = connected;
}

void FrameSlot::Detach() {
    std::lock_guard lock(mutex_);
    appsink_.reset();
    sample_.reset();
    decoded_.reset();
    recycled_.reset();
    buffering_ = false;
}

void FrameSlot::PullNewest() {
    if (!appsink_) return;
    GstSample* newest = gst_app_sink_try_pull_sample(GST_APP_SINK(appsink_.get()), 0);
    if (newest == nullptr) return;
    SampleHandle sample = SampleHandle::Take(newest);
    GstCaps* caps = gst_sample_get_caps(sample.get());
    if (caps == nullptr || gst_caps_is_empty(caps) ||
        gst_sample_get_buffer(sample.get()) == nullptr) {
        return;
    }
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    GstVideoInfo info;
    int width = 0, height = 0;
    const bool jpeg = gst_structure_has_name(s, "image/jpeg");
    if (jpeg) {
        const bool sized = gst_structure_get_int(s, "width", &width) &&
                           gst_structure_get_int(s, "height", &height);
        if (!sized && !JpegPictureSize(gst_sample_get_buffer(sample.get()), width, height)) return;
        if (width < 1 || height < 1) return;
    } else if (gst_video_info_from_caps(&info, caps)) {
        info_ = info;
        width = GST_VIDEO_INFO_WIDTH(&info);
        height = GST_VIDEO_INFO_HEIGHT(&info);
    } else {
        return;
    }
    sample_ = std::move(sample);
    jpeg_ = jpeg;
    width_ = width;
    height_ = height;
    connected_ = FrameFormat{width, height};
    ++sequence_;
}

void FrameSlot::SetBuffering(bool on) {
    std::lock_guard lock(mutex_);
    if (on && !buffering_) {
        PullNewest();
        buffered_from_ = sequence_;
    }
    buffering_ = on;
}

bool FrameSlot::QueryBufferSize(std::size_t& size) {
    std::lock_guard lock(mutex_);
    PullNewest();
    if (!KeptFrame()) return false;
    size = KeptFormat().SizeBytes();
    return true;
}

bool FrameSlot::ConvertKept(Converter& converter, std::uint8_t* pixels, std::size_t stride,
                            int width, int height, bool with_alpha) {
    const GstVideoInfo* kept = &info_;
    GstBuffer* buffer = gst_sample_get_buffer(sample_.get());
    if (jpeg_) {
        if (decoded_sequence_ != sequence_) {
            decoded_.reset();
            decoded_sequence_ = sequence_;
            GstVideoInfo info;
            BufferHandle picture;
            if (decoder_.Decode(buffer, width_, height_, info, picture)) {
                decoded_info_ = info;
                decoded_ = std::move(picture);
            }
        }
        // A damaged frame is no frame; the one before it stays the newest.
        if (!decoded_ || GST_VIDEO_INFO_WIDTH(&decoded_info_) != width_ ||
            GST_VIDEO_INFO_HEIGHT(&decoded_info_) != height_) {
            return false;
        }
        kept = &decoded_info_;
        buffer = decoded_.get();
    }
    const GstVideoInfo& info_in = *kept;
    const int own_width = GST_VIDEO_INFO_WIDTH(&info_in);
    const int own_height = GST_VIDEO_INFO_HEIGHT(&info_in);
    MappedVideoFrame in(info_in, buffer);
    if (!in.ok()) return false;
    const GstVideoFormat out_format = with_alpha ? GST_VIDEO_FORMAT_BGRA : GST_VIDEO_FORMAT_BGR;
    if (GST_VIDEO_INFO_FORMAT(&info_in) == out_format && width == own_width &&
        height == own_height) {
        for (int y = 0; y < height; ++y) {
            std::memcpy(pixels + stride * static_cast<std::size_t>(y),
                        in.plane() + static_cast<std::ptrdiff_t>(in.stride()) * y,
                        static_cast<std::size_t>(width) * (with_alpha ? 4 : 3));
        }
        return true;
    }
    GstVideoInfo out_info;
    gst_video_info_set_format(&out_info, out_format, static_cast<guint>(width),
                              static_cast<guint>(height));
    // The converter wants everything but format, size, colour and layout kept.
    GST_VIDEO_INFO_FPS_N(&out_info) = GST_VIDEO_INFO_FPS_N(&info_in);
    GST_VIDEO_INFO_FPS_D(&out_info) = GST_VIDEO_INFO_FPS_D(&info_in);
    GST_VIDEO_INFO_PAR_N(&out_info) = GST_VIDEO_INFO_PAR_N(&info_in);
    GST_VIDEO_INFO_PAR_D(&out_info) = GST_VIDEO_INFO_PAR_D(&info_in);
    GST_VIDEO_INFO_INTERLACE_MODE(&out_info) = GST_VIDEO_INFO_INTERLACE_MODE(&info_in);
    out_info.stride[0] = static_cast<gint>(stride);
    out_info.size = stride * static_cast<std::size_t>(height);
    if (!converter.handle || converter.stride != stride || converter.width != width ||
        converter.height != height || converter.with_alpha != with_alpha ||
        !gst_video_info_is_equal(&converter.in, &info_in)) {
        // A preview shrinks by picking pixels, as a plain scaled draw does;
        // the filtering resamplers cost more than the conversion itself.
        GstStructure* options =
            width == own_width && height == own_height
                ? nullptr
                : gst_structure_new(
                      "options", GST_VIDEO_CONVERTER_OPT_RESAMPLER_METHOD,
                      GST_TYPE_VIDEO_RESAMPLER_METHOD, GST_VIDEO_RESAMPLER_METHOD_NEAREST,
                      GST_VIDEO_CONVERTER_OPT_CHROMA_RESAMPLER_METHOD,
                      GST_TYPE_VIDEO_RESAMPLER_METHOD, GST_VIDEO_RESAMPLER_METHOD_NEAREST, nullptr);
        // The converter takes the options over.
        converter.handle =
            ConverterHandle::Take(gst_video_converter_new(&info_in, &out_info, options));
        converter.in = info_in;
        converter.stride = stride;
        converter.width = width;
        converter.height = height;
        converter.with_alpha = with_alpha;
    }
    if (!converter.handle) return false;
    BufferHandle wrapped = BufferHandle::Take(gst_buffer_new_wrapped_full(
        GstMemoryFlags(0), pixels, out_info.size, 0, out_info.size, nullptr, nullptr));
    MappedVideoFrame out(out_info, wrapped.get(), GST_MAP_WRITE);
    if (!out.ok()) return false;
    gst_video_converter_frame(converter.handle.get(), in.get(), out.get());
    return true;
}

bool FrameSlot::CopyCurrentBuffer(std::uint8_t* destination, std::size_t size) {
    std::lock_guard lock(mutex_);
    PullNewest();
    if (!KeptFrame() || destination == nullptr) return false;
    const FrameFormat format = KeptFormat();
    if (format.SizeBytes() != size) return false;
    // Converted top row first, then turned bottom-up row by row: only a grab
    // pays for either, never the running graph.
    const std::size_t stride = format.Stride();
    scratch_.resize(size);
    if (!ConvertKept(grab_converter_, scratch_.data(), stride, format.width, format.height))
        return false;
    const std::size_t row_bytes = static_cast<std::size_t>(format.width) * 3;
    for (int y = 0; y < format.height; ++y) {
        std::uint8_t* row = destination + stride * static_cast<std::size_t>(format.height - 1 - y);
        std::memcpy(row, scratch_.data() + stride * static_cast<std::size_t>(y), row_bytes);
        std::memset(row + row_bytes, 0, stride - row_bytes);
    }
    return true;
}

FrameFormat FrameSlot::ConnectedFormat() const {
    std::lock_guard lock(mutex_);
    return connected_;
}

std::shared_ptr<const PreviewFrame> FrameSlot::TakePreviewFrame(std::uint64_t after_sequence) {
    return TakeScaledPreviewFrame(after_sequence, 0, 0);
}

std::shared_ptr<const PreviewFrame> FrameSlot::TakeScaledPreviewFrame(std::uint64_t after_sequence,
                                                                      int width, int height) {
    std::lock_guard lock(mutex_);
    PullNewest();
    if (!sample_ || sequence_ <= after_sequence) return nullptr;
    std::shared_ptr<OwnedPreviewFrame> frame =
        std::static_pointer_cast<OwnedPreviewFrame>(recycled_);
    if (!frame || frame.use_count() > 2) frame = std::make_shared<OwnedPreviewFrame>();
    // Unscaled frames keep the grab's layout; scaled ones are for painting.
    const bool own_size = width <= 0 || height <= 0;
    frame->width = own_size ? width_ : width;
    frame->height = own_size ? height_ : height;
    frame->layout = own_size ? PreviewFrame::Layout::kBgr24 : PreviewFrame::Layout::kBgra32;
    frame->stride = own_size ? FrameFormat::StrideFor(frame->width)
                             : static_cast<std::size_t>(frame->width) * 4;
    frame->storage.resize(frame->stride * static_cast<std::size_t>(frame->height));
    if (!ConvertKept(preview_converter_, frame->storage.data(), frame->stride, frame->width,
                     frame->height, !own_size)) {
        return nullptr;
    }
    frame->pixels = frame->storage.data();
    frame->sequence = sequence_;
    recycled_ = frame;
    return frame;
}

// --- GraphPipeline ---

GraphPipeline::GraphPipeline() = default;

GraphPipeline::~GraphPipeline() {
    Shutdown();
    if (bus_) gst_bus_set_sync_handler(bus_.get(), nullptr, nullptr, nullptr);
}

bool GraphPipeline::CreatePipeline() {
    pipeline_ = ElementHandle::Sink(gst_pipeline_new(nullptr));
    return static_cast<bool>(pipeline_);
}

bool GraphPipeline::CreateGrabber() {
    appsink_ = Make("appsink");
    if (!appsink_) return false;
    g_object_set(appsink_.get(), "drop", TRUE, "max-buffers", 1u, "sync", FALSE, "emit-signals",
                 FALSE, "enable-last-sample", FALSE, "qos", FALSE, nullptr);
    return true;
}

// Raw video in whatever format the device sends, or Motion-JPEG; the slot
// decodes and converts on demand.
bool GraphPipeline::SetGrabberCaps() {
    if (!appsink_) return false;
    CapsHandle caps = CapsHandle::Take(gst_caps_new_empty_simple("video/x-raw"));
    gst_caps_append_structure(caps.get(), gst_structure_new_empty(kJpegMedia));
    gst_app_sink_set_caps(GST_APP_SINK(appsink_.get()), caps.get());
    return true;
}

bool GraphPipeline::AddGrabber() {
    if (!pipeline_ || !appsink_) return false;
    return gst_bin_add(GST_BIN(pipeline_.get()), appsink_.get());
}

bool GraphPipeline::GetBus() {
    if (!pipeline_) return false;
    bus_ = BusHandle::Take(gst_element_get_bus(pipeline_.get()));
    if (!bus_) return false;
    gst_bus_set_sync_handler(bus_.get(), KeepErrorsOnly, nullptr, nullptr);
    return true;
}

bool GraphPipeline::CreateSource(const VideoDevice& device) {
    source_ = CreateSourceElement(device);
    return static_cast<bool>(source_);
}

bool GraphPipeline::AddSource() {
    if (!pipeline_ || !source_) return false;
    format_caps_ = Make("capsfilter");
    if (!format_caps_) return false;
    return gst_bin_add(GST_BIN(pipeline_.get()), source_.get()) &&
           gst_bin_add(GST_BIN(pipeline_.get()), format_caps_.get());
}

bool GraphPipeline::ReadSourceFormats() {
    device_caps_.reset();
    if (!source_) return false;
    if (gst_element_set_state(source_.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        DrainBus();
        return false;
    }
    PadHandle pad = PadHandle::Take(gst_element_get_static_pad(source_.get(), "src"));
    if (!pad) return false;
    CapsHandle caps = CapsHandle::Take(gst_pad_query_caps(pad.get(), nullptr));
    if (!caps || gst_caps_is_empty(caps.get()) || gst_caps_is_any(caps.get())) return false;
    device_caps_ = std::move(caps);
    return true;
}

std::vector<DeviceFormatOffer> GraphPipeline::FormatOffers() const {
    // Raw offers of a size before Motion-JPEG ones.
    std::map<std::tuple<int, int, bool>, std::vector<std::int64_t>> offered;
    if (!device_caps_) return {};
    for (guint i = 0; i < gst_caps_get_size(device_caps_.get()); ++i) {
        const GstStructure* s = gst_caps_get_structure(device_caps_.get(), i);
        const bool jpeg = gst_structure_has_name(s, kJpegMedia);
        if (!jpeg && !gst_structure_has_name(s, kRawMedia)) continue;
        const std::vector<std::int64_t> intervals = IntervalsOf(s);
        for (const auto& [width, height] : SizesOf(s)) {
            auto& list = offered[{width, height, jpeg}];
            list.insert(list.end(), intervals.begin(), intervals.end());
        }
    }
    std::vector<DeviceFormatOffer> offers;
    for (auto& [key, intervals] : offered) {
        std::sort(intervals.begin(), intervals.end());
        intervals.erase(std::unique(intervals.begin(), intervals.end()), intervals.end());
        offers.push_back(
            {std::get<0>(key), std::get<1>(key), std::move(intervals), std::get<2>(key)});
    }
    return offers;
}

namespace {

// The device's offer of `media` at this size with the frame rate fixed
// nearest to the requested interval (any rate when none is requested); with
// `exact_rate`, only an offer within 1% of the requested rate.
StructureHandle OfferAt(GstCaps* device_caps, const char* media, const DeviceFormat& format,
                        bool exact_rate) {
    CapsHandle wanted = CapsHandle::Take(gst_caps_new_simple(
        media, "width", G_TYPE_INT, format.width, "height", G_TYPE_INT, format.height, nullptr));
    CapsHandle offered = CapsHandle::Take(gst_caps_intersect(device_caps, wanted.get()));
    if (!offered) return {};
    for (guint i = 0; i < gst_caps_get_size(offered.get()); ++i) {
        StructureHandle chosen =
            StructureHandle::Take(gst_structure_copy(gst_caps_get_structure(offered.get(), i)));
        if (!gst_structure_has_field(chosen.get(), "framerate")) {
            if (!exact_rate || format.frame_interval_100ns <= 0) return chosen;
            continue;
        }
        if (format.frame_interval_100ns > 0) {
            const std::int64_t divisor = std::gcd(kUnitsPerSecond, format.frame_interval_100ns);
            gst_structure_fixate_field_nearest_fraction(
                chosen.get(), "framerate", static_cast<int>(kUnitsPerSecond / divisor),
                static_cast<int>(format.frame_interval_100ns / divisor));
        } else {
            gst_structure_fixate_field(chosen.get(), "framerate");
        }
        int n = 0, d = 1;
        if (!gst_structure_get_fraction(chosen.get(), "framerate", &n, &d)) continue;
        const std::int64_t interval = IntervalOf(n, d);
        if (exact_rate && format.frame_interval_100ns > 0 &&
            std::llabs(interval - format.frame_interval_100ns) * 100 > format.frame_interval_100ns)
            continue;
        return chosen;
    }
    return {};
}

}  // namespace

CapsHandle ChooseDeviceFormat(GstCaps* device_caps, const DeviceFormat& format,
                              DeviceFormat& chosen_format) {
    if (device_caps == nullptr || format.width < 1 || format.height < 1) return {};
    // Raw when the device gives this size at this rate raw; otherwise
    // Motion-JPEG at its rate nearest to the request (webcams' larger sizes
    // and full rates); raw at its nearest rate when there is no Motion-JPEG.
    StructureHandle chosen;
    const char* media = kRawMedia;
    for (const auto& [kind, exact] :
         {std::pair{kRawMedia, true}, std::pair{kJpegMedia, false}, std::pair{kRawMedia, false}}) {
        chosen = OfferAt(device_caps, kind, format, exact);
        if (chosen) {
            media = kind;
            break;
        }
    }
    if (!chosen) return {};
    chosen_format = DeviceFormat{format.width, format.height, 0};
    CapsHandle caps = CapsHandle::Take(gst_caps_new_simple(
        media, "width", G_TYPE_INT, format.width, "height", G_TYPE_INT, format.height, nullptr));
    int n = 0, d = 1;
    if (gst_structure_get_fraction(chosen.get(), "framerate", &n, &d)) {
        chosen_format.frame_interval_100ns = IntervalOf(n, d);
        gst_caps_set_simple(caps.get(), "framerate", GST_TYPE_FRACTION, n, d, nullptr);
    }
    return caps;
}

std::optional<DeviceFormat> GraphPipeline::WriteFormat(const DeviceFormat& format) {
    if (!format_caps_) return written_;
    DeviceFormat result;
    CapsHandle caps = ChooseDeviceFormat(device_caps_.get(), format, result);
    if (!caps) return written_;
    g_object_set(format_caps_.get(), "caps", caps.get(), nullptr);
    written_ = result;
    motion_jpeg_ = gst_structure_has_name(gst_caps_get_structure(caps.get(), 0), kJpegMedia);
    return written_;
}

std::vector<DeviceControl> GraphPipeline::Controls() const {
    ElementHandle holder;
    GstColorBalance* balance = FindColorBalance(source_.get(), holder);
    std::vector<DeviceControl> controls;
    if (balance == nullptr) return controls;
    for (const GList* item = gst_color_balance_list_channels(balance); item != nullptr;
         item = item->next) {
        auto* channel = GST_COLOR_BALANCE_CHANNEL(item->data);
        controls.push_back({channel->label != nullptr ? channel->label : "", channel->min_value,
                            channel->max_value, gst_color_balance_get_value(balance, channel)});
    }
    return controls;
}

void GraphPipeline::SetControl(const std::string& name, int value) {
    ElementHandle holder;
    GstColorBalance* balance = FindColorBalance(source_.get(), holder);
    if (balance == nullptr) return;
    for (const GList* item = gst_color_balance_list_channels(balance); item != nullptr;
         item = item->next) {
        auto* channel = GST_COLOR_BALANCE_CHANNEL(item->data);
        if (channel->label != nullptr && name == channel->label) {
            gst_color_balance_set_value(balance, channel,
                                        std::clamp(value, channel->min_value, channel->max_value));
        }
    }
}

std::optional<StepError> GraphPipeline::Link() {
    if (!pipeline_ || !source_ || !format_caps_ || !appsink_)
        return StepError{GST_PAD_LINK_NOFORMAT};
    PadHandle source_pad = PadHandle::Take(gst_element_get_static_pad(source_.get(), "src"));
    PadHandle caps_sink = PadHandle::Take(gst_element_get_static_pad(format_caps_.get(), "sink"));
    if (source_pad && caps_sink) {
        const GstPadLinkReturn r = gst_pad_link(source_pad.get(), caps_sink.get());
        if (r != GST_PAD_LINK_OK) return StepError{static_cast<int>(r)};
    } else if (!gst_element_link(source_.get(), format_caps_.get())) {
        return StepError{GST_PAD_LINK_NOFORMAT};
    }
    if (!gst_element_link(format_caps_.get(), appsink_.get()))
        return StepError{GST_PAD_LINK_NOFORMAT};
    errno = 0;
    if (gst_element_set_state(pipeline_.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        const int saved_errno = errno;
        const int code = DrainBus();
        return StepError{code != 0 ? code : saved_errno};
    }
    return std::nullopt;
}

std::optional<StepError> GraphPipeline::QueryConnectedFormat(FrameFormat& format) {
    if (!appsink_) return StepError{GST_PAD_LINK_NOFORMAT};
    PadHandle sink = PadHandle::Take(gst_element_get_static_pad(appsink_.get(), "sink"));
    GstCaps* peer = sink ? gst_pad_peer_query_caps(sink.get(), nullptr) : nullptr;
    if (peer == nullptr || gst_caps_is_empty(peer) || gst_caps_is_any(peer)) {
        CapsHandle::Take(peer);
        return StepError{GST_PAD_LINK_NOFORMAT};
    }
    CapsHandle fixed = CapsHandle::Take(gst_caps_fixate(peer));
    const GstStructure* s = gst_caps_get_structure(fixed.get(), 0);
    int width = 0, height = 0;
    if (!gst_structure_has_name(s, kRawMedia) && !gst_structure_has_name(s, kJpegMedia))
        return StepError{GST_PAD_LINK_NOFORMAT};
    if (!gst_structure_get_int(s, "width", &width) ||
        !gst_structure_get_int(s, "height", &height) || width < 1 || height < 1) {
        return StepError{GST_PAD_LINK_NOFORMAT};
    }
    format = FrameFormat{width, height};
    return std::nullopt;
}

int GraphPipeline::DrainBus() {
    if (!bus_) return error_code_.load();
    while (GstMessage* popped = gst_bus_pop(bus_.get())) {
        MessageHandle message = MessageHandle::Take(popped);
        if (GST_MESSAGE_TYPE(popped) != GST_MESSAGE_ERROR) continue;
        GError* raw = nullptr;
        gst_message_parse_error(popped, &raw, nullptr);
        ErrorHandle error = ErrorHandle::Take(raw);
        error_code_.store(error ? error->code : -1);
        failed_.store(true);
    }
    return error_code_.load();
}

bool GraphPipeline::Run() {
    if (!pipeline_) return false;
    DrainBus();
    // A stream that failed stays failed in its running pipeline (a server
    // that refused the connection is not asked again): it starts again from
    // READY, so that this run tries anew and fails at once if it must.
    if (failed_.exchange(false)) gst_element_set_state(pipeline_.get(), GST_STATE_READY);
    return gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
}

bool GraphPipeline::IsRunning(const StopSignal* stop) {
    if (!pipeline_) return false;
    // Running means the first frame has reached the grabber; a device error
    // ends the wait at once, and so does the stop.
    for (int waited = 0; waited < kStateWaitMs; waited += kStateWaitStepMs) {
        if (stop != nullptr && stop->IsSet()) return false;
        DrainBus();
        if (failed_.load()) return false;
        GstState state = GST_STATE_NULL;
        const GstStateChangeReturn r =
            gst_element_get_state(pipeline_.get(), &state, nullptr, kStateWaitStepMs * GST_MSECOND);
        if (r == GST_STATE_CHANGE_FAILURE) return false;
        if (r != GST_STATE_CHANGE_ASYNC) return state == GST_STATE_PLAYING;
    }
    return false;
}

void GraphPipeline::StopWhenReady() {
    if (pipeline_) gst_element_set_state(pipeline_.get(), GST_STATE_READY);
}

void GraphPipeline::Shutdown() {
    if (pipeline_) gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    // A source opened for its formats but never added to the pipeline.
    if (source_ && GST_OBJECT_PARENT(source_.get()) == nullptr)
        gst_element_set_state(source_.get(), GST_STATE_NULL);
}

#include "capture/graph_pipeline.h"

#include <gst/app/gstappsink.h>
#include <gst/video/colorbalance.h>

#include <algorithm>
#include <cerrno>

#include "platform/stop_signal.h"

namespace {

constexpr int kStateWaitStepMs = 50;
constexpr int kStateWaitMs = 2000;

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

GstColorBalance* FindColorBalance(GstElement* source, ElementHandle& holder) {
    if (source == nullptr) return nullptr;
    if (GST_IS_COLOR_BALANCE(source)) return GST_COLOR_BALANCE(source);
    if (!GST_IS_BIN(source)) return nullptr;
    holder = ElementHandle::Take(gst_bin_get_by_interface(GST_BIN(source), GST_TYPE_COLOR_BALANCE));
    return holder ? GST_COLOR_BALANCE(holder.get()) : nullptr;
}

}  // namespace

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
    CapsHandle caps = CapsHandle::Take(gst_caps_new_empty_simple(kRawVideoMedia));
    gst_caps_append_structure(caps.get(), gst_structure_new_empty(kMotionJpegMedia));
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
    formats_.Clear();
    if (!source_) return false;
    if (gst_element_set_state(source_.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        DrainBus();
        return false;
    }
    PadHandle pad = PadHandle::Take(gst_element_get_static_pad(source_.get(), "src"));
    return formats_.Read(pad.get());
}

std::vector<DeviceFormatOffer> GraphPipeline::FormatOffers() const { return formats_.Offers(); }

std::optional<DeviceFormat> GraphPipeline::WriteFormat(const DeviceFormat& format) {
    if (!format_caps_) return written_;
    DeviceFormat result;
    CapsHandle caps = formats_.Choose(format, result);
    if (!caps) return written_;
    g_object_set(format_caps_.get(), "caps", caps.get(), nullptr);
    written_ = result;
    motion_jpeg_ = IsMotionJpeg(caps.get());
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
    if (!gst_structure_has_name(s, kRawVideoMedia) && !gst_structure_has_name(s, kMotionJpegMedia))
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
        if (GST_MESSAGE_TYPE(popped) == GST_MESSAGE_EOS) ended_.store(true);
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
    ended_.store(false);
    return gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
}

bool GraphPipeline::IsRunning(const StopSignal* stop) {
    if (!pipeline_) return false;
    // Running means the first frame has reached the grabber; a device error
    // ends the wait at once, and so does the stop.
    for (int waited = 0; waited < kStateWaitMs; waited += kStateWaitStepMs) {
        // A wait on the stop (not only a look), so the waiting thread is heard.
        if (stop != nullptr && stop->WaitFor(std::chrono::milliseconds(0))) return false;
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

bool GraphPipeline::StreamEnded() {
    DrainBus();
    return failed_.load() || ended_.load();
}

void GraphPipeline::StopWhenReady() {
    if (pipeline_) gst_element_set_state(pipeline_.get(), GST_STATE_READY);
}

void GraphPipeline::ReleaseDevice() {
    if (pipeline_) gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
}

void GraphPipeline::Shutdown() {
    if (pipeline_) gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    // A source opened for its formats but never added to the pipeline.
    if (source_ && GST_OBJECT_PARENT(source_.get()) == nullptr)
        gst_element_set_state(source_.get(), GST_STATE_NULL);
}

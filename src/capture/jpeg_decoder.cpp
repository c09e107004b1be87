#include "capture/jpeg_decoder.h"

namespace {

GstStaticPadTemplate kFeedTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS("image/jpeg"));
GstStaticPadTemplate kDrainTemplate =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS("video/x-raw"));

}  // namespace

bool JpegPictureSize(GstBuffer* jpeg, int& width, int& height) {
    if (jpeg == nullptr) return false;
    GstMapInfo map;
    if (!gst_buffer_map(jpeg, &map, GST_MAP_READ)) return false;
    const guint8* d = map.data;
    const std::size_t n = map.size;
    bool found = false;
    std::size_t i = 2;
    if (n >= 4 && d[0] == 0xff && d[1] == 0xd8) {
        while (i + 1 < n && !found) {
            if (d[i] != 0xff) break;
            const guint8 marker = d[i + 1];
            if (marker == 0xff) {  // fill byte
                ++i;
                continue;
            }
            if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7)) {
                i += 2;
                continue;
            }
            if (marker == 0xd9 || marker == 0xda || i + 3 >= n) break;
            const std::size_t length = (std::size_t{d[i + 2]} << 8) | d[i + 3];
            const bool frame_header = marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 &&
                                      marker != 0xc8 && marker != 0xcc;
            if (frame_header) {
                if (length < 7 || i + 8 >= n) break;
                height = (d[i + 5] << 8) | d[i + 6];
                width = (d[i + 7] << 8) | d[i + 8];
                found = width > 0 && height > 0;
                break;
            }
            i += 2 + length;
        }
    }
    gst_buffer_unmap(jpeg, &map);
    return found;
}

JpegDecoder::~JpegDecoder() { Close(); }

GstFlowReturn JpegDecoder::Collect(GstPad* pad, GstObject*, GstBuffer* buffer) {
    auto* self = static_cast<JpegDecoder*>(gst_pad_get_element_private(pad));
    self->decoded_ = BufferHandle::Take(buffer);
    return GST_FLOW_OK;
}

gboolean JpegDecoder::CollectEvent(GstPad* pad, GstObject*, GstEvent* event) {
    const EventHandle owned = EventHandle::Take(event);
    auto* self = static_cast<JpegDecoder*>(gst_pad_get_element_private(pad));
    if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
        GstCaps* caps = nullptr;
        gst_event_parse_caps(event, &caps);
        self->have_info_ = caps != nullptr && gst_video_info_from_caps(&self->decoded_info_, caps);
    }
    return TRUE;
}

bool JpegDecoder::Open() {
    decoder_ = ElementHandle::Sink(gst_element_factory_make("jpegdec", nullptr));
    if (!decoder_) return false;
    // A damaged frame is skipped, however many come, never the end of the
    // stream: a camera's next frame is usually whole again.
    gst_video_decoder_set_max_errors(GST_VIDEO_DECODER(decoder_.get()), -1);
    feed_ = PadHandle::Sink(gst_pad_new_from_static_template(&kFeedTemplate, "src"));
    drain_ = PadHandle::Sink(gst_pad_new_from_static_template(&kDrainTemplate, "sink"));
    gst_pad_set_element_private(drain_.get(), this);
    gst_pad_set_chain_function(drain_.get(), Collect);
    gst_pad_set_event_function(drain_.get(), CollectEvent);
    PadHandle decoder_sink = PadHandle::Take(gst_element_get_static_pad(decoder_.get(), "sink"));
    PadHandle decoder_src = PadHandle::Take(gst_element_get_static_pad(decoder_.get(), "src"));
    if (!decoder_sink || !decoder_src) return false;
    gst_pad_set_active(feed_.get(), TRUE);
    gst_pad_set_active(drain_.get(), TRUE);
    if (gst_pad_link(feed_.get(), decoder_sink.get()) != GST_PAD_LINK_OK ||
        gst_pad_link(decoder_src.get(), drain_.get()) != GST_PAD_LINK_OK) {
        return false;
    }
    if (gst_element_set_state(decoder_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return false;
    GstSegment segment;
    gst_segment_init(&segment, GST_FORMAT_TIME);
    return gst_pad_push_event(feed_.get(), gst_event_new_stream_start("quillomat-jpeg")) &&
           PushCaps(width_, height_) &&
           gst_pad_push_event(feed_.get(), gst_event_new_segment(&segment));
}

bool JpegDecoder::PushCaps(int width, int height) {
    // One whole picture per buffer, as a grabber hands them over.
    const CapsHandle caps = CapsHandle::Take(gst_caps_new_simple(
        "image/jpeg", "parsed", G_TYPE_BOOLEAN, TRUE, "width", G_TYPE_INT, width, "height",
        G_TYPE_INT, height, "framerate", GST_TYPE_FRACTION, 0, 1, nullptr));
    const bool sent = gst_pad_push_event(feed_.get(), gst_event_new_caps(caps.get()));
    width_ = width;
    height_ = height;
    return sent;
}

void JpegDecoder::Close() {
    if (decoder_) gst_element_set_state(decoder_.get(), GST_STATE_NULL);
    if (feed_) gst_pad_set_active(feed_.get(), FALSE);
    if (drain_) gst_pad_set_active(drain_.get(), FALSE);
    feed_.reset();
    drain_.reset();
    decoder_.reset();
    decoded_.reset();
    have_info_ = false;
}

bool JpegDecoder::Decode(GstBuffer* jpeg, int width, int height, GstVideoInfo& info,
                         BufferHandle& picture) {
    if (jpeg == nullptr || width < 1 || height < 1) return false;
    if (!decoder_) {
        width_ = width;
        height_ = height;
        if (!Open()) {
            Close();
            return false;
        }
    } else if (width != width_ || height != height_) {
        if (!PushCaps(width, height)) {
            Close();
            return false;
        }
    }
    decoded_.reset();
    // A new buffer around the same memory: the sample keeps its own.
    GstBuffer* frame = gst_buffer_copy_region(jpeg, GST_BUFFER_COPY_MEMORY, 0, -1);
    const GstFlowReturn flow = gst_pad_push(feed_.get(), frame);
    if (flow != GST_FLOW_OK) {
        // The decoder stopped accepting frames; a fresh one takes the next.
        Close();
        return false;
    }
    if (!decoded_ || !have_info_) return false;
    info = decoded_info_;
    picture = std::move(decoded_);
    return true;
}

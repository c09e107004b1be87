#include "capture/frame_slot.h"

#include <gst/app/gstappsink.h>

#include <algorithm>
#include <cstring>

#include "platform/stop_signal.h"

namespace {

struct OwnedPreviewFrame final : PreviewFrame {
    std::vector<std::uint8_t> storage;
};

// The settle wait looks for a new frame this often: faster than any frame
// rate, so that it sees consecutive frames.
constexpr std::chrono::milliseconds kSettleLookMs{5};
// Frames in formats without an 8-bit luma plane are first scaled to the
// brightness grid.

std::int64_t SteadyNs(std::chrono::steady_clock::time_point time) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
}

// Runs on the streaming thread: notes each start of the stream.
GstPadProbeReturn NoteStreamStart(GstPad*, GstPadProbeInfo* info, gpointer data) {
    if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_STREAM_START) {
        StreamStarts& starts = **static_cast<std::shared_ptr<StreamStarts>*>(data);
        starts.last_ns.store(SteadyNs(std::chrono::steady_clock::now()));
        starts.count.fetch_add(1);
    }
    return GST_PAD_PROBE_OK;
}

void ForgetStreamStarts(gpointer data) { delete static_cast<std::shared_ptr<StreamStarts>*>(data); }

}  // namespace

void FrameSlot::Attach(ElementHandle appsink, FrameFormat connected) {
    std::lock_guard lock(mutex_);
    appsink_ = std::move(appsink);
    sample_.reset();
    connected_ = connected;
    if (appsink_) {
        PadHandle pad = PadHandle::Take(gst_element_get_static_pad(appsink_.get(), "sink"));
        if (pad) {
            gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, NoteStreamStart,
                              new std::shared_ptr<StreamStarts>(starts_), ForgetStreamStarts);
        }
    }
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
    // The stamp as the appsink hands it over: a running time in the sample's
    // segment, against the base time of the run it belongs to. A frame kept
    // across a stop carries the old run's time; SetBuffering leaves that one
    // out by its sequence, so every frame judged here is of the current run.
    std::optional<SteadyTime> captured;
    bool at_start = false;
    const GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    const GstSegment* segment = gst_sample_get_segment(sample.get());
    if (GST_BUFFER_PTS_IS_VALID(buffer) && segment != nullptr &&
        segment->format == GST_FORMAT_TIME) {
        const guint64 running =
            gst_segment_to_running_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
        const ClockHandle clock = ClockHandle::Take(gst_element_get_clock(appsink_.get()));
        if (GST_CLOCK_TIME_IS_VALID(running)) {
            at_start = running == 0;
            if (clock) {
                const GstClockTime now = gst_clock_get_time(clock.get());
                const GstClockTime base = gst_element_get_base_time(appsink_.get());
                const auto age = std::chrono::nanoseconds(static_cast<std::int64_t>(now - base) -
                                                          static_cast<std::int64_t>(running));
                captured = std::chrono::steady_clock::now() - age;
            }
        }
    }
    sample_ = std::move(sample);
    captured_ = captured;
    stamped_at_start_ = at_start;
    jpeg_ = jpeg;
    width_ = width;
    height_ = height;
    connected_ = FrameFormat{width, height};
    ++sequence_;
}

void FrameSlot::SetBuffering(bool on) {
    std::lock_guard lock(mutex_);
    if (on && !buffering_) {
        buffering_began_ = std::chrono::steady_clock::now();
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

bool FrameSlot::KeptPicture(const GstVideoInfo*& info, GstBuffer*& buffer) {
    info = &info_;
    buffer = gst_sample_get_buffer(sample_.get());
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
        info = &decoded_info_;
        buffer = decoded_.get();
    }
    return buffer != nullptr;
}

std::optional<double> FrameSlot::KeptBrightness() {
    const GstVideoInfo* info = nullptr;
    GstBuffer* buffer = nullptr;
    if (!KeptPicture(info, buffer)) return std::nullopt;
    const GstVideoFormatInfo* format = info->finfo;
    const bool luma_plane =
        (GST_VIDEO_FORMAT_INFO_IS_YUV(format) || GST_VIDEO_FORMAT_INFO_IS_GRAY(format)) &&
        GST_VIDEO_FORMAT_INFO_DEPTH(format, 0) == 8 &&
        GST_VIDEO_FORMAT_INFO_SHIFT(format, 0) == 0 && !GST_VIDEO_FORMAT_INFO_IS_TILED(format);
    if (luma_plane) {
        MappedVideoFrame frame(*info, buffer);
        if (!frame.ok()) return std::nullopt;
        const auto* data = static_cast<const guint8*>(GST_VIDEO_FRAME_COMP_DATA(frame.get(), 0));
        const int stride = GST_VIDEO_FRAME_COMP_STRIDE(frame.get(), 0);
        const int pixel_stride = GST_VIDEO_FRAME_COMP_PSTRIDE(frame.get(), 0);
        const int width = GST_VIDEO_FRAME_COMP_WIDTH(frame.get(), 0);
        const int height = GST_VIDEO_FRAME_COMP_HEIGHT(frame.get(), 0);
        const int step_x = std::max(1, (width + kBrightnessGrid - 1) / kBrightnessGrid);
        const int step_y = std::max(1, (height + kBrightnessGrid - 1) / kBrightnessGrid);
        std::uint64_t sum = 0;
        std::uint64_t count = 0;
        for (int y = step_y / 2; y < height; y += step_y) {
            const guint8* row = data + static_cast<std::ptrdiff_t>(stride) * y;
            for (int x = step_x / 2; x < width; x += step_x) {
                sum += row[static_cast<std::ptrdiff_t>(pixel_stride) * x];
                ++count;
            }
        }
        if (count == 0) return std::nullopt;
        return static_cast<double>(sum) / static_cast<double>(count);
    }
    // Any other layout: scaled down to the grid by picking pixels, as BGR.
    const int width = std::min(kBrightnessGrid, width_);
    const int height = std::min(kBrightnessGrid, height_);
    const std::size_t stride = FrameFormat::StrideFor(width);
    settle_pixels_.resize(stride * static_cast<std::size_t>(height));
    if (!ConvertKept(settle_converter_, settle_pixels_.data(), stride, width, height))
        return std::nullopt;
    return MeanBrightnessOfBgr(settle_pixels_.data(), FrameFormat{width, height});
}

bool FrameSlot::ConvertKept(Converter& converter, std::uint8_t* pixels, std::size_t stride,
                            int width, int height, bool with_alpha) {
    const GstVideoInfo* kept = nullptr;
    GstBuffer* buffer = nullptr;
    if (!KeptPicture(kept, buffer)) return false;
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

SettleOutcome FrameSlot::WaitForSettled(const StopSignal& stop, std::chrono::milliseconds max,
                                        std::chrono::milliseconds stall,
                                        const std::function<bool()>& ended) {
    std::uint64_t start = 0;
    std::uint64_t seen = 0;
    SteadyTime last_frame = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(mutex_);
        start = starts_->count.load();
        if (start == settled_start_) return SettleOutcome::kSettled;
        settle_.Reset();
        seen = sequence_;
    }
    for (;;) {
        const SteadyTime now = std::chrono::steady_clock::now();
        {
            std::lock_guard lock(mutex_);
            // Another start meanwhile (a recovery's rebuild): its own bound.
            if (const std::uint64_t latest = starts_->count.load(); latest != start) {
                start = latest;
                settle_.Reset();
            }
            const SteadyTime started{std::chrono::nanoseconds(starts_->last_ns.load())};
            if (now >= started + max) {
                settled_start_ = start;
                return SettleOutcome::kTimedOut;
            }
            PullNewest();
            if (sequence_ != seen) {
                seen = sequence_;
                last_frame = now;
                // Frames from before the grab or the start count for nothing.
                if (KeptFrame()) {
                    const std::optional<double> mean = KeptBrightness();
                    if (mean && settle_.Add(*mean)) {
                        settled_start_ = start;
                        return SettleOutcome::kSettled;
                    }
                }
            }
        }
        if (now - last_frame >= stall || (ended && ended())) return SettleOutcome::kStalled;
        if (stop.WaitFor(kSettleLookMs)) return SettleOutcome::kStopped;
    }
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

#include "timelapse/day_video.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "capture/device_list.h"
#include "capture/gst_handle.h"
#include "platform/stop_signal.h"
#include "timelapse/picture_planes.h"

namespace {

using Result = DayVideoOutcome::Result;

GstStaticPadTemplate kFeedTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS("video/x-raw"));

GstVideoFormat VideoFormat(PicturePlanes::Layout layout) {
    switch (layout) {
        case PicturePlanes::Layout::kI420:
            return GST_VIDEO_FORMAT_I420;
        case PicturePlanes::Layout::kY42B:
            return GST_VIDEO_FORMAT_Y42B;
        case PicturePlanes::Layout::kY444:
            return GST_VIDEO_FORMAT_Y444;
        case PicturePlanes::Layout::kY41B:
            return GST_VIDEO_FORMAT_Y41B;
        case PicturePlanes::Layout::kRgb:
            break;
    }
    return GST_VIDEO_FORMAT_RGB;
}

// The planes are BT.601 video already (the encoder's own colours), their
// chroma centred as in the JPEG: same-sized 4:2:0 pictures pass the scaler
// and the converter untouched.
CapsHandle PictureCaps(const PicturePlanes& picture, int fps) {
    GstVideoInfo info;
    gst_video_info_set_format(&info, VideoFormat(picture.layout), static_cast<guint>(picture.width),
                              static_cast<guint>(picture.height));
    info.fps_n = fps;
    info.fps_d = 1;
    if (GST_VIDEO_INFO_IS_YUV(&info)) {
        gst_video_colorimetry_from_string(&info.colorimetry, GST_VIDEO_COLORIMETRY_BT601);
        info.chroma_site = GST_VIDEO_CHROMA_SITE_JPEG;
    }
    return CapsHandle::Take(gst_video_info_to_caps(&info));
}

void FreePlanes(gpointer bytes) { delete[] static_cast<unsigned char*>(bytes); }

// The decoded planes become the frame as they are; the video meta tells the
// converter libjpeg's strides.
GstBuffer* FrameBuffer(PicturePlanes& picture, GstClockTime pts, GstClockTime duration) {
    const std::size_t size = picture.size;
    unsigned char* bytes = picture.bytes.release();
    GstBuffer* buffer = gst_buffer_new_wrapped_full(static_cast<GstMemoryFlags>(0), bytes, size, 0,
                                                    size, bytes, FreePlanes);
    gsize offsets[GST_VIDEO_MAX_PLANES] = {};
    gint strides[GST_VIDEO_MAX_PLANES] = {};
    for (int p = 0; p < picture.plane_count; ++p) {
        offsets[p] = picture.offset[p];
        strides[p] = picture.stride[p];
    }
    gst_buffer_add_video_meta_full(buffer, GST_VIDEO_FRAME_FLAG_NONE, VideoFormat(picture.layout),
                                   static_cast<guint>(picture.width),
                                   static_cast<guint>(picture.height),
                                   static_cast<guint>(picture.plane_count), offsets, strides);
    GST_BUFFER_PTS(buffer) = pts;
    GST_BUFFER_DURATION(buffer) = duration;
    return buffer;
}

bool FlushToDisk(int fd) {
    while (::fsync(fd) != 0) {
        if (errno == EINTR) continue;
        // EINVAL: a file system without flushes.
        return errno == EINVAL;
    }
    return true;
}

// Renames without ever replacing what is there; where the file system offers
// no such rename, looks first.
bool MoveIntoPlace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
}

void FlushFolderOf(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    FlushToDisk(fd);
    ::close(fd);
}

// Opens the temporary file for writing, never through a link; a regular file
// of that name is a leftover of an earlier attempt and goes first.
int OpenTemporary(const std::string& path) {
    constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::open(path.c_str(), kFlags, 0644);
    if (fd < 0 && errno == EEXIST) {
        struct stat st;
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(path.c_str()) == 0)
            fd = ::open(path.c_str(), kFlags, 0644);
    }
    return fd;
}

class Encoding {
public:
    Encoding(int fd, int fps) : fd_(fd), fps_(fps) {}
    ~Encoding() { Close(); }
    Encoding(const Encoding&) = delete;
    Encoding& operator=(const Encoding&) = delete;

    bool Open(const PicturePlanes& first, int width, int height, std::string& error) {
        char tail[512];
        std::snprintf(tail, sizeof tail,
                      "videoscale ! videoconvert ! "
                      "video/x-raw,format=I420,width=%d,height=%d,pixel-aspect-ratio=1/1,"
                      "framerate=%d/1,colorimetry=bt601 ! %s ! webmmux ! "
                      "fdsink fd=%d sync=false async=false",
                      width, height, fps_, DayVideoEncoderSettings().c_str(), fd_);
        GError* raw_error = nullptr;
        ElementHandle bin =
            ElementHandle::Sink(gst_parse_bin_from_description(tail, TRUE, &raw_error));
        ErrorHandle parse_error = ErrorHandle::Take(raw_error);
        if (!bin || parse_error) {
            // A missing plugin (vp8enc, webmmux) says so here.
            error = parse_error ? parse_error->message : "GStreamer";
            every_day_would_fail_ = true;
            return false;
        }
        pipeline_ = ElementHandle::Sink(gst_pipeline_new("timelapse"));
        gst_bin_add(GST_BIN(pipeline_.get()), bin.get());
        bus_ = BusHandle::Take(gst_element_get_bus(pipeline_.get()));
        feed_ = PadHandle::Sink(gst_pad_new_from_static_template(&kFeedTemplate, "src"));
        PadHandle bin_sink = PadHandle::Take(gst_element_get_static_pad(bin.get(), "sink"));
        gst_pad_set_active(feed_.get(), TRUE);
        if (!bin_sink || gst_pad_link(feed_.get(), bin_sink.get()) != GST_PAD_LINK_OK ||
            gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            error = BusError("GStreamer");
            return false;
        }
        GstSegment segment;
        gst_segment_init(&segment, GST_FORMAT_TIME);
        if (!gst_pad_push_event(feed_.get(), gst_event_new_stream_start("quillomat-timelapse")) ||
            !PushCaps(first, error) ||
            !gst_pad_push_event(feed_.get(), gst_event_new_segment(&segment))) {
            if (error.empty()) error = BusError("GStreamer");
            return false;
        }
        return true;
    }

    bool Push(PicturePlanes& picture, std::string& error) {
        if ((picture.layout != layout_ || picture.width != width_ || picture.height != height_) &&
            !PushCaps(picture, error)) {
            return false;
        }
        const GstClockTime pts = gst_util_uint64_scale(frames_, GST_SECOND, fps_);
        const GstClockTime next = gst_util_uint64_scale(frames_ + 1, GST_SECOND, fps_);
        const GstFlowReturn flow = gst_pad_push(feed_.get(), FrameBuffer(picture, pts, next - pts));
        if (flow != GST_FLOW_OK) {
            error = BusError(gst_flow_get_name(flow));
            return false;
        }
        ++frames_;
        return true;
    }

    // The elements run on this thread, so the end of the stream has passed
    // the muxer when the push returns; the pipeline's word on it is awaited
    // all the same, a stop ending the wait.
    bool Finish(const StopSignal& stop, std::string& error) {
        gst_pad_push_event(feed_.get(), gst_event_new_eos());
        constexpr GstClockTime kStep = 50 * GST_MSECOND;
        constexpr int kSteps = 600;
        for (int step = 0; step < kSteps && !stop.IsSet(); ++step) {
            MessageHandle message = MessageHandle::Take(gst_bus_timed_pop_filtered(
                bus_.get(), kStep,
                static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
            if (!message) continue;
            if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS) {
                Close();
                return true;
            }
            error = ErrorText(message.get());
            return false;
        }
        error = "no end of stream";
        return false;
    }

    void Close() {
        if (pipeline_) gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
        if (feed_) gst_pad_set_active(feed_.get(), FALSE);
        feed_.reset();
        bus_.reset();
        pipeline_.reset();
    }

    int Frames() const { return frames_; }
    bool EveryDayWouldFail() const { return every_day_would_fail_; }

private:
    bool PushCaps(const PicturePlanes& picture, std::string& error) {
        CapsHandle caps = PictureCaps(picture, fps_);
        // The event takes a reference of its own.
        if (!gst_pad_push_event(feed_.get(), gst_event_new_caps(caps.get()))) {
            error = BusError("caps");
            return false;
        }
        layout_ = picture.layout;
        width_ = picture.width;
        height_ = picture.height;
        return true;
    }

    std::string ErrorText(GstMessage* message) {
        GError* raw = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(message, &raw, &debug);
        ErrorHandle error = ErrorHandle::Take(raw);
        GStringHandle debug_text = GStringHandle::Take(debug);
        if (error &&
            g_error_matches(error.get(), GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NO_SPACE_LEFT)) {
            every_day_would_fail_ = true;
        }
        return error ? error->message : "GStreamer";
    }

    std::string BusError(const char* otherwise) {
        if (bus_) {
            MessageHandle message =
                MessageHandle::Take(gst_bus_pop_filtered(bus_.get(), GST_MESSAGE_ERROR));
            if (message) return ErrorText(message.get());
        }
        return otherwise;
    }

    const int fd_;
    const int fps_;
    ElementHandle pipeline_;
    BusHandle bus_;
    PadHandle feed_;
    PicturePlanes::Layout layout_ = PicturePlanes::Layout::kRgb;
    int width_ = 0;
    int height_ = 0;
    int frames_ = 0;
    bool every_day_would_fail_ = false;
};

bool NoSpace(int error_number) { return error_number == ENOSPC || error_number == EDQUOT; }

// The first picture's size, brought within the largest video size (either
// way up) with its shape kept.
void FitVideoSize(int width, int height, int& video_width, int& video_height) {
    const double long_side = std::max(width, height);
    const double short_side = std::min(width, height);
    const double scale =
        std::min({1.0, kMaxVideoLongSide / long_side, kMaxVideoShortSide / short_side});
    video_width = scale < 1.0 ? std::max(2, static_cast<int>(std::lround(width * scale))) : width;
    video_height =
        scale < 1.0 ? std::max(2, static_cast<int>(std::lround(height * scale))) : height;
}

}  // namespace

std::string DayVideoEncoderSettings() {
    // Realtime speed on one thread; constrained quality, capped at 0.2 bits
    // per pixel; no frames held back (lag), so memory stays at a few frames.
    return "vp8enc deadline=1 cpu-used=4 threads=1 lag-in-frames=0 end-usage=cq cq-level=20 "
           "target-bitrate=0 bits-per-pixel=0.2";
}

DayVideoOutcome MakeDayVideo(const std::vector<std::string>& pictures,
                             const std::string& temporary_path, const std::string& video_path,
                             int fps, const StopSignal& stop,
                             const std::function<void()>& between_pictures) {
    const auto give_way = [&] {
        if (between_pictures) between_pictures();
    };
    DayVideoOutcome outcome;
    if (!EnsureGstreamer()) {
        outcome.error = "GStreamer";
        outcome.every_day_would_fail = true;
        return outcome;
    }
    std::size_t next = 0;
    PicturePlanes picture;
    for (; next < pictures.size(); ++next) {
        give_way();
        if (stop.IsSet()) {
            outcome.result = Result::kStopped;
            return outcome;
        }
        if (DecodePicturePlanes(pictures[next], picture, kMaxVideoLongSide, kMaxVideoShortSide))
            break;
        ++outcome.skipped;
    }
    if (next == pictures.size()) {
        outcome.result = Result::kNothingDecoded;
        return outcome;
    }
    FitVideoSize(picture.file_width, picture.file_height, outcome.width, outcome.height);

    const int fd = OpenTemporary(temporary_path);
    if (fd < 0) {
        outcome.error = std::strerror(errno);
        outcome.every_day_would_fail = NoSpace(errno);
        return outcome;
    }
    const auto abandon = [&](Result result) {
        ::close(fd);
        ::unlink(temporary_path.c_str());
        outcome.result = result;
        return outcome;
    };
    {
        Encoding encoding(fd, fps);
        // The pipeline lets go of the descriptor before it is closed.
        const auto give_up = [&](Result result) {
            outcome.every_day_would_fail = encoding.EveryDayWouldFail();
            encoding.Close();
            return abandon(result);
        };
        if (!encoding.Open(picture, outcome.width, outcome.height, outcome.error) ||
            !encoding.Push(picture, outcome.error)) {
            return give_up(Result::kFailed);
        }
        for (++next; next < pictures.size(); ++next) {
            give_way();
            if (stop.IsSet()) return give_up(Result::kStopped);
            if (!DecodePicturePlanes(pictures[next], picture, outcome.width, outcome.height)) {
                ++outcome.skipped;
                continue;
            }
            if (!encoding.Push(picture, outcome.error)) return give_up(Result::kFailed);
        }
        outcome.frames = encoding.Frames();
        if (!encoding.Finish(stop, outcome.error))
            return give_up(stop.IsSet() ? Result::kStopped : Result::kFailed);
    }
    struct stat st;
    if (!FlushToDisk(fd) || ::fstat(fd, &st) != 0) {
        outcome.error = std::strerror(errno);
        outcome.every_day_would_fail = NoSpace(errno);
        return abandon(Result::kFailed);
    }
    outcome.bytes = static_cast<std::uintmax_t>(st.st_size);
    if (::close(fd) != 0) {
        outcome.error = std::strerror(errno);
        outcome.every_day_would_fail = NoSpace(errno);
        ::unlink(temporary_path.c_str());
        return outcome;
    }
    if (!MoveIntoPlace(temporary_path, video_path)) {
        outcome.error = std::strerror(errno);
        ::unlink(temporary_path.c_str());
        return outcome;
    }
    FlushFolderOf(video_path);
    outcome.result = Result::kMade;
    return outcome;
}

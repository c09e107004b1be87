#pragma once

// Private to the capture folder: the slot through which frames leave a
// graph's pipeline.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "capture/capture_window.h"
#include "capture/frame_format.h"
#include "capture/frame_source.h"
#include "capture/gst_handle.h"
#include "capture/jpeg_decoder.h"
#include "capture/picture_settle.h"

class StopSignal;

// The starts of a graph's stream, as the grabber's pad sees them (a
// stream-start event at every start from READY); written on the streaming
// thread.
struct StreamStarts {
    std::atomic<std::uint64_t> count{0};
    // Steady clock, nanoseconds.
    std::atomic<std::int64_t> last_ns{0};
};

// The grabber's end: the newest frame is left in the sink, in the device's
// own format, and taken and converted (a Motion-JPEG frame decoded first)
// only when someone asks (a grab while buffering is on, or the preview), so a
// running graph nobody watches costs no decoding, no conversion and no copy.
class FrameSlot final : public PreviewSource {
public:
    void Attach(ElementHandle appsink, FrameFormat connected);
    void Detach();

    // Switching on forgets any frame seen before; only frames that arrive
    // afterwards are kept, and only those the source stamped after that
    // moment: a stamp at the start of the stream itself is the one a source
    // gives a frame it captured before it was started (v4l2src clamps it
    // there), so it may be a frame queued before a stop.
    void SetBuffering(bool on);
    bool QueryBufferSize(std::size_t& size);
    // Bottom-up, rows padded to 4 bytes; fails, leaving `destination` as it
    // was, when no frame is kept or the kept frame has another size.
    bool CopyCurrentBuffer(std::uint8_t* destination, std::size_t size);
    FrameFormat ConnectedFormat() const;

    // FrameSource::WaitForSettledPicture on this slot's frames; `ended` says
    // whether the stream has ended (an error or its end).
    SettleOutcome WaitForSettled(const StopSignal& stop, std::chrono::milliseconds max,
                                 std::chrono::milliseconds stall,
                                 const std::function<bool()>& ended);

    std::shared_ptr<const PreviewFrame> TakePreviewFrame(std::uint64_t after_sequence) override;
    std::shared_ptr<const PreviewFrame> TakeScaledPreviewFrame(std::uint64_t after_sequence,
                                                               int width, int height) override;

private:
    // A converter kept for one input format and one output layout.
    struct Converter {
        ConverterHandle handle;
        GstVideoInfo in{};
        std::size_t stride = 0;
        int width = 0;
        int height = 0;
        bool with_alpha = false;
    };

    using SteadyTime = std::chrono::steady_clock::time_point;

    void PullNewest();
    // The kept frame's picture: raw as it came, a Motion-JPEG frame decoded
    // (once per frame); false for one that does not decode.
    bool KeptPicture(const GstVideoInfo*& info, GstBuffer*& buffer);
    // Its mean luma from a grid of samples, without converting the frame.
    std::optional<double> KeptBrightness();
    // The kept frame as BGR (or BGRA) at `width` x `height` (scaled when
    // that is not its own size), top row first, rows `stride` bytes apart;
    // false for a Motion-JPEG frame that does not decode.
    bool ConvertKept(Converter& converter, std::uint8_t* pixels, std::size_t stride, int width,
                     int height, bool with_alpha = false);
    bool FreshStamp() const {
        return !stamped_at_start_ && (!captured_ || *captured_ >= buffering_began_);
    }
    bool KeptFrame() const {
        return buffering_ && sample_ && sequence_ > buffered_from_ && FreshStamp();
    }
    FrameFormat KeptFormat() const { return {width_, height_}; }

    mutable std::mutex mutex_;
    ElementHandle appsink_;
    SampleHandle sample_;
    // Raw frames: their layout. Motion-JPEG frames: the caps' size only.
    GstVideoInfo info_{};
    bool jpeg_ = false;
    int width_ = 0;
    int height_ = 0;
    JpegDecoder decoder_;
    // The kept frame decoded, for the preview and a grab of the same frame.
    BufferHandle decoded_;
    GstVideoInfo decoded_info_{};
    std::uint64_t decoded_sequence_ = 0;
    // Apart, so that grabs and a scaled preview do not rebuild each other's.
    Converter grab_converter_;
    Converter preview_converter_;
    Converter settle_converter_;
    std::vector<std::uint8_t> scratch_;
    std::vector<std::uint8_t> settle_pixels_;
    // The last preview frame handed out; its memory is used again once the
    // preview has let go of it.
    std::shared_ptr<PreviewFrame> recycled_;
    std::uint64_t sequence_ = 0;
    bool buffering_ = false;
    std::uint64_t buffered_from_ = 0;
    FrameFormat connected_;
    // When the source says the kept frame was captured, on the steady clock;
    // none when it does not say.
    std::optional<SteadyTime> captured_;
    bool stamped_at_start_ = false;
    SteadyTime buffering_began_{};
    // Outlives every grabber pad that counts into it.
    const std::shared_ptr<StreamStarts> starts_ = std::make_shared<StreamStarts>();
    // The start whose picture has settled (or whose bound passed).
    std::uint64_t settled_start_ = 0;
    SettleWindow settle_;
};

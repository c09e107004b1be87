#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class StopSignal;

struct DayVideoOutcome {
    enum class Result {
        kMade,            // the video is in place, whole and on the disk
        kStopped,         // the stop came first: nothing is left behind
        kNothingDecoded,  // not one picture decodes: no video
        kFailed,          // see `error`; nothing is left behind
    };

    Result result = Result::kFailed;
    int frames = 0;
    int skipped = 0;  // pictures that do not decode
    int width = 0;    // of the video: the first picture that decodes, within the largest size
    int height = 0;
    std::uintmax_t bytes = 0;
    std::string error;
    // kFailed for a reason no other day would escape: no encoder (a missing
    // plugin), no space left on the disk.
    bool every_day_would_fail = false;
};

// The encoder's choices, fixed here so that the benchmark's bare pipeline can
// use the same ones.
std::string DayVideoEncoderSettings();

// The largest video, either way up: a picture beyond any camera's size
// must not take the memory of its encoding.
inline constexpr int kMaxVideoLongSide = 1920;
inline constexpr int kMaxVideoShortSide = 1080;

// Makes a VP8 WebM video of `pictures`, one frame each in the given order at
// `fps` frames per second, sized as the first picture that decodes, brought
// within kMaxVideoLongSide x kMaxVideoShortSide (others are scaled to it,
// bordered where their shape differs; larger ones are decoded scaled down
// by libjpeg first). Pictures are decoded
// one at a time on the calling thread, which also runs the encoder, so the
// work has the caller's priority and never more than a few pictures in
// memory. The video is written to `temporary_path` (which must not exist or
// be a regular file, removed first), flushed to the disk and renamed to
// `video_path`, never over an existing file. `stop` is looked at between
// pictures; `between_pictures`, when given, is called before each picture
// (it may wait, to give way).
DayVideoOutcome MakeDayVideo(const std::vector<std::string>& pictures,
                             const std::string& temporary_path, const std::string& video_path,
                             int fps, const StopSignal& stop,
                             const std::function<void()>& between_pictures = {});

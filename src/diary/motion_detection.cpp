#include "diary/motion_detection.h"

#include <algorithm>

namespace {

inline bool Moved(std::uint8_t a, std::uint8_t b) { return (a > b ? a - b : b - a) > 10; }

}  // namespace

std::optional<int> MeasureMotion(const std::uint8_t* frame, std::size_t frame_size,
                                 MotionReference& reference) {
    const std::size_t stride = std::max<std::size_t>(1, frame_size / kMotionReferenceBytes);
    // A frame smaller than the reference has fewer pixels than samples.
    const std::size_t samples = std::min(kMotionSamples, frame_size / 3);
    std::uint8_t* ref = reference.bytes.data();
    const std::size_t step = 3 * stride;

    std::optional<int> score;
    if (!reference.empty) {
        std::size_t changed = 0;
        const std::uint8_t* pixel = frame;
        for (std::size_t i = 0; i < samples; ++i, pixel += step) {
            const std::uint8_t* r = ref + 3 * i;
            changed += Moved(r[2], pixel[2]) & Moved(r[1], pixel[1]) & Moved(r[0], pixel[0]);
        }
        if (samples == kMotionSamples) {
            score = static_cast<int>(changed / 50) * (33 - kMotionQuality);
        } else if (samples == 0) {
            score = 0;
        } else {
            // The same share of changed samples gives the same score as on a
            // full-size frame: changed scaled to 19200 samples, then / 50.
            score =
                static_cast<int>(changed * kMotionSamples / samples / 50) * (33 - kMotionQuality);
        }
    }

    const std::uint8_t* pixel = frame;
    for (std::size_t i = 0; i < samples; ++i, pixel += step) {
        ref[3 * i] = pixel[0];
        ref[3 * i + 1] = pixel[1];
        ref[3 * i + 2] = pixel[2];
    }
    reference.empty = false;
    return score;
}

#include "diary/motion_detection.h"

#include <algorithm>

namespace {

// Branch-free: on a noisy scene the outcome is unpredictable.
inline unsigned Moved(int a, int b) { return static_cast<unsigned>((a - b) * (a - b) > 100); }

}  // namespace

std::optional<int> MeasureMotion(const std::uint8_t* frame, std::size_t frame_size,
                                 MotionReference& reference) {
    const std::size_t stride = std::max<std::size_t>(1, frame_size / kMotionReferenceBytes);
    // A frame smaller than the reference has fewer pixels than samples.
    const std::size_t samples = std::min(kMotionSamples, frame_size / 3);
    const std::size_t step = 3 * stride;
    std::uint8_t* ref = reference.bytes.data();
    const std::uint8_t* pixel = frame;

    if (reference.empty) {
        for (std::size_t i = 0; i < samples; ++i, pixel += step) {
            ref[3 * i] = pixel[0];
            ref[3 * i + 1] = pixel[1];
            ref[3 * i + 2] = pixel[2];
        }
        reference.empty = false;
        return std::nullopt;
    }

    // Comparing and refreshing in one pass: sample i is only ever compared
    // with reference pixel i.
    std::size_t changed = 0;
    for (std::size_t i = 0; i < samples; ++i, pixel += step) {
        std::uint8_t* r = ref + 3 * i;
        changed += Moved(r[2], pixel[2]) & Moved(r[1], pixel[1]) & Moved(r[0], pixel[0]);
        r[0] = pixel[0];
        r[1] = pixel[1];
        r[2] = pixel[2];
    }
    if (samples == kMotionSamples) return static_cast<int>(changed / 50) * (33 - kMotionQuality);
    if (samples == 0) return 0;
    // The same share of changed samples gives the same score as on a full
    // frame: changed scaled to 19200 samples, then divided by 50.
    return static_cast<int>(changed * kMotionSamples / samples / 50) * (33 - kMotionQuality);
}

#include "diary/motion_filters.h"

#include <algorithm>
#include <cstdlib>

#include "diary/motion_detection.h"

int SampleBrightness(const std::uint8_t* frame, std::size_t frame_size) {
    const std::size_t stride = std::max<std::size_t>(1, frame_size / kMotionReferenceBytes);
    const std::size_t samples = std::min(kMotionSamples, frame_size / 3);
    if (samples == 0) return 0;
    const std::size_t step = 3 * stride;
    std::uint64_t sum = 0;
    const std::uint8_t* pixel = frame;
    for (std::size_t i = 0; i < samples; ++i, pixel += step) {
        // B, G, R: green weighs most, as in luma.
        sum += pixel[0] + 2u * pixel[1] + pixel[2];
    }
    return static_cast<int>(sum / (4 * samples));
}

LightSwitchFilter::Light LightSwitchFilter::Look(const std::uint8_t* frame,
                                                 std::size_t frame_size) {
    if (!On()) return Light::kSteady;
    const int now = SampleBrightness(frame, frame_size);
    const int last = last_;
    last_ = now;
    // In a dark scene a few levels of noise would be a jump of many percent:
    // a change is measured against at least kLeastBrightness.
    if (last >= 0 && std::abs(now - last) * 100 > percent_ * std::max(last, kLeastBrightness)) {
        settling_ = kSettleMeasurements;
        return Light::kJumped;
    }
    if (settling_ > 0) {
        --settling_;
        return Light::kSettling;
    }
    return Light::kSteady;
}

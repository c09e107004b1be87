#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

// Both users of the motion score sample with the same fixed quality.
inline constexpr int kMotionQuality = 32;
inline constexpr std::size_t kMotionReferenceBytes = 230400 / (4 * (33 - kMotionQuality));
inline constexpr std::size_t kMotionSamples = kMotionReferenceBytes / 3;
inline constexpr int kMaxMotionScore =
    static_cast<int>(kMotionSamples / 50) * (33 - kMotionQuality);

// The sample pixels of the previous measured frame. Owned by the caller for
// one run of measurements; a new run starts empty.
struct MotionReference {
    std::array<std::uint8_t, kMotionReferenceBytes> bytes{};
    bool empty = true;

    void Clear() { empty = true; }
};

// Motion score (0 to 384) of `frame` against the reference: the number of
// sample pixels that moved by more than 10 in all three channels, divided by
// 50. Then the frame's samples become the reference. The first measurement of
// a run only fills the reference and gives no score. Allocates nothing.
std::optional<int> MeasureMotion(const std::uint8_t* frame, std::size_t frame_size,
                                 MotionReference& reference);

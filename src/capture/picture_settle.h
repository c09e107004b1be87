#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "capture/frame_format.h"

// After a start of the stream a camera's automatic exposure and white balance
// take 0.3 to 3 s to settle, so its first frames are dark, too bright or
// tinted. A picture counts as settled once the mean brightness (luma, 0 to
// 255) of kSettleFrames consecutive fresh frames lies within a band of
// kSettleBandShare of their mean, never narrower than kSettleLeastBand levels:
// a fade or an exposure still moving by more than about a third of the band
// per frame keeps it unsettled, while the noise and a moving object of a
// steady scene stay well inside it.
inline constexpr std::size_t kSettleFrames = 4;
inline constexpr double kSettleBandShare = 0.02;
inline constexpr double kSettleLeastBand = 1.5;
// The bound of the wait after a start when the settings give none
// (SETTLE_MAX_MS).
inline constexpr unsigned kDefaultSettleMaxMs = 3000;

// Brightness samples per row and column at most.
inline constexpr int kBrightnessGrid = 64;

// Mean luma (0 to 255) of a frame's pixels, picked on kBrightnessGrid rows
// and columns at most, as the settle wait measures any picture that has no
// luma plane of its own.
double MeanBrightnessOfBgr(const std::uint8_t* pixels, const FrameFormat& format);

// The last frames' mean brightness after one start.
class SettleWindow {
public:
    void Reset() { count_ = 0; }
    // One more frame; true once the last kSettleFrames are settled.
    bool Add(double mean);

private:
    std::array<double, kSettleFrames> means_{};
    std::size_t count_ = 0;
};

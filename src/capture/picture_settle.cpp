#include "capture/picture_settle.h"

#include <algorithm>

bool SettleWindow::Add(double mean) {
    means_[count_ % kSettleFrames] = mean;
    ++count_;
    if (count_ < kSettleFrames) return false;
    const auto [low, high] = std::minmax_element(means_.begin(), means_.end());
    double sum = 0;
    for (const double each : means_) sum += each;
    const double band = std::max(kSettleLeastBand, kSettleBandShare * sum / kSettleFrames);
    return *high - *low <= band;
}

double MeanBrightnessOfBgr(const std::uint8_t* pixels, const FrameFormat& format) {
    if (!format.IsValid()) return 0;
    const int step_x = std::max(1, (format.width + kBrightnessGrid - 1) / kBrightnessGrid);
    const int step_y = std::max(1, (format.height + kBrightnessGrid - 1) / kBrightnessGrid);
    const std::size_t stride = format.Stride();
    double sum = 0;
    long count = 0;
    for (int y = step_y / 2; y < format.height; y += step_y) {
        const std::uint8_t* row = pixels + stride * static_cast<std::size_t>(y);
        for (int x = step_x / 2; x < format.width; x += step_x) {
            const std::uint8_t* p = row + static_cast<std::size_t>(x) * 3;
            sum += 0.114 * p[0] + 0.587 * p[1] + 0.299 * p[2];
            ++count;
        }
    }
    return count > 0 ? sum / static_cast<double>(count) : 0;
}

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

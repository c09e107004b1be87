#include "capture/device_names.h"

#include <algorithm>
#include <cstdio>

#include "platform/cp932.h"

namespace {

constexpr std::size_t kTitleNameBytes = 12;

}  // namespace

std::vector<std::string> DeduplicateDeviceNames(const std::vector<std::string>& names) {
    std::vector<std::string> renamed = names;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto total = std::count(names.begin(), names.end(), names[i]);
        if (total <= 1) continue;
        const auto before =
            std::count(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(i), names[i]);
        renamed[i] = names[i] + " (" + std::to_string(before + 1) + ")";
    }
    return renamed;
}

std::string FormatCaptureTitle(const std::string& device_name, std::int32_t width,
                               std::int32_t height) {
    std::string name = device_name;
    if (Cp932ByteLength(name) > kTitleNameBytes)
        name = TruncateToCp932Bytes(name, kTitleNameBytes) + "...";
    char size[40];
    std::snprintf(size, sizeof size, " (%dx%d)", static_cast<int>(width), static_cast<int>(height));
    return "Quillomat - " + name + size;
}

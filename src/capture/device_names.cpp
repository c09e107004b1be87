#include "capture/device_names.h"

#include <QCoreApplication>
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/cp932.h"

namespace {

constexpr std::size_t kTitleNameBytes = 12;

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Orders "/dev/video2" before "/dev/video10".
bool NaturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && IsDigit(a[ei])) ++ei;
            while (ej < b.size() && IsDigit(b[ej])) ++ej;
            std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
            nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
            if (na.size() != nb.size()) return na.size() < nb.size();
            if (na != nb) return na < nb;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

}  // namespace

std::vector<std::size_t> ListEachDeviceOnce(const std::vector<DeviceIdentity>& devices) {
    std::vector<std::size_t> listed;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const bool seen = !devices[i].path.empty() &&
                          std::any_of(listed.begin(), listed.end(), [&](std::size_t j) {
                              return devices[j].path == devices[i].path;
                          });
        if (!seen) listed.push_back(i);
    }
    std::stable_sort(listed.begin(), listed.end(), [&](std::size_t a, std::size_t b) {
        const DeviceIdentity& x = devices[a];
        const DeviceIdentity& y = devices[b];
        if (x.path != y.path) return NaturalLess(x.path, y.path);
        return x.name < y.name;
    });
    return listed;
}

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

bool IsNetworkAddress(const std::string& name) {
    auto starts = [&](const char* scheme) {
        const std::size_t n = std::char_traits<char>::length(scheme);
        if (name.size() <= n) return false;
        for (std::size_t i = 0; i < n; ++i) {
            if (std::tolower(static_cast<unsigned char>(name[i])) != scheme[i]) return false;
        }
        return true;
    };
    return starts("http://") || starts("https://") || starts("rtsp://");
}

std::string NoVideoDeviceMessage() {
    return QCoreApplication::translate("CaptureGraph", kNoVideoDeviceMessage).toStdString();
}

std::string GraphFailedPrompt() {
    return QCoreApplication::translate("CaptureGraph", kGraphFailedPrompt).toStdString();
}

#include "capture/test_devices.h"

#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace {

// Splits at unescaped `separator`; a backslash takes the next character as is.
std::vector<std::string> SplitEscaped(std::string_view text, char separator) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            parts.back() += text[++i];
        } else if (c == separator) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

// Splits keeping escapes, so that the second split still sees them.
std::vector<std::string> SplitKeepingEscapes(std::string_view text, char separator) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            parts.back() += c;
            parts.back() += text[++i];
        } else if (c == separator) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

bool ParseCount(std::string_view text, int& out) {
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && out >= 0;
}

bool ParseSize(std::string_view text, int& width, int& height) {
    const auto x = text.find('x');
    if (x == std::string_view::npos) return false;
    return ParseCount(text.substr(0, x), width) && ParseCount(text.substr(x + 1), height) &&
           width >= kTestDeviceMinSide && height >= kTestDeviceMinSide;
}

bool ApplyOption(const std::string& option, TestDeviceSpec& spec) {
    int n = 0;
    if (option == "moving") {
        spec.picture = TestDeviceSpec::Picture::kMovingBall;
    } else if (option == "bars") {
        spec.picture = TestDeviceSpec::Picture::kScrollingBars;
    } else if (option == "still") {
        spec.picture = TestDeviceSpec::Picture::kStill;
    } else if (option == "fail") {
        spec.fail_after_frames = 0;
    } else if (option.starts_with("fail=") && ParseCount(std::string_view(option).substr(5), n)) {
        spec.fail_after_frames = n;
    } else if (option.starts_with("stop=") && ParseCount(std::string_view(option).substr(5), n)) {
        spec.stop_after_frames = n;
    } else if (option == "controls") {
        spec.controls = true;
    } else if (option.starts_with("unplugged=") && option.size() > 10) {
        spec.unplugged_file = option.substr(10);
    } else if (option.starts_with("dark=") && option.size() > 5) {
        spec.dark_file = option.substr(5);
    } else if (option == "counter") {
        spec.counter = true;
    } else if (option == "mjpeg") {
        spec.mjpeg = true;
    } else if (option.starts_with("corrupt=") &&
               ParseCount(std::string_view(option).substr(8), n) && n > 0) {
        spec.corrupt_frame = n;
    } else if (option.starts_with("warmup=") && ParseCount(std::string_view(option).substr(7), n)) {
        spec.warmup_ms = n;
    } else if (option.starts_with("stale=") && ParseCount(std::string_view(option).substr(6), n)) {
        spec.stale_frames = n;
    } else if (option.starts_with("hang=") && ParseCount(std::string_view(option).substr(5), n)) {
        spec.hang_after_frames = n;
    } else if (!ParseSize(option, spec.fixed_width, spec.fixed_height)) {
        return false;
    }
    return true;
}

}  // namespace

std::vector<TestDeviceSpec> ParseTestDevices(std::string_view value,
                                             std::vector<std::string>* errors) {
    std::vector<TestDeviceSpec> devices;
    for (const std::string& entry : SplitKeepingEscapes(value, ',')) {
        if (entry.empty()) continue;
        const std::vector<std::string> fields = SplitEscaped(entry, ':');
        TestDeviceSpec spec;
        spec.name = fields[0];
        for (std::size_t i = 1; i < fields.size(); ++i) {
            if (!ApplyOption(fields[i], spec) && errors != nullptr) {
                errors->push_back("unknown test device option \"" + fields[i] + "\" of \"" +
                                  spec.name + "\"");
            }
        }
        devices.push_back(std::move(spec));
    }
    return devices;
}

bool IsUnplugged(const TestDeviceSpec& spec) {
    return !spec.unplugged_file.empty() && ::access(spec.unplugged_file.c_str(), F_OK) == 0;
}

std::vector<TestDeviceSpec> TestDevicesFromEnvironment() {
    const char* value = std::getenv(kTestDevicesVariable);
    if (value == nullptr) return {};
    std::vector<std::string> errors;
    std::vector<TestDeviceSpec> devices = ParseTestDevices(value, &errors);
    for (const std::string& error : errors) std::fprintf(stderr, "Quillomat: %s\n", error.c_str());
    return devices;
}

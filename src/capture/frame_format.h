#pragma once

#include <cstddef>
#include <cstdint>

// A frame is a device-independent bitmap: 24-bit pixels stored blue, green,
// red; rows padded to a multiple of 4 bytes; the bottom row first.
struct FrameFormat {
    std::int32_t width = 0;
    std::int32_t height = 0;

    static constexpr std::size_t StrideFor(std::int32_t width) {
        return (static_cast<std::size_t>(width) * 3 + 3) & ~static_cast<std::size_t>(3);
    }
    std::size_t Stride() const { return StrideFor(width); }
    std::size_t SizeBytes() const { return Stride() * static_cast<std::size_t>(height); }
    bool IsValid() const { return width > 0 && height > 0; }

    bool operator==(const FrameFormat&) const = default;
};

#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "capture/frame_format.h"

// The one piece of memory a stored frame lives in, from the grab through the
// time text to the encoder. Bottom-up rows, blue-first pixels.
class DrawingSurface {
public:
    // Zeroed memory for `format`, and at least `frame_size` bytes (the size the
    // grabber reported); nullopt when it cannot be allocated.
    static std::optional<DrawingSurface> Create(const FrameFormat& format, std::size_t frame_size);

    const FrameFormat& Format() const { return format_; }
    std::uint8_t* Pixels() { return pixels_.get(); }
    const std::uint8_t* Pixels() const { return pixels_.get(); }
    std::size_t SizeBytes() const { return size_; }

private:
    DrawingSurface(FrameFormat format, std::unique_ptr<std::uint8_t[]> pixels, std::size_t size)
        : format_(format), pixels_(std::move(pixels)), size_(size) {}

    FrameFormat format_;
    std::unique_ptr<std::uint8_t[]> pixels_;
    std::size_t size_;
};

#include "diary/drawing_surface.h"

#include <algorithm>
#include <new>

std::optional<DrawingSurface> DrawingSurface::Create(const FrameFormat& format,
                                                     std::size_t frame_size) {
    if (!format.IsValid()) return std::nullopt;
    const std::size_t size = std::max(format.SizeBytes(), frame_size);
    std::unique_ptr<std::uint8_t[]> pixels(new (std::nothrow) std::uint8_t[size]());
    if (!pixels) return std::nullopt;
    return DrawingSurface(format, std::move(pixels), size);
}

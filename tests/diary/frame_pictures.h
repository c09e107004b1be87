#pragma once

#include <cstdint>
#include <vector>

#include "capture/frame_format.h"

// A bottom-up BGR frame whose top `top_rows` rows of the picture are red and
// the rest blue.
inline std::vector<std::uint8_t> RedTopBlueBottom(const FrameFormat& f, int top_rows) {
    std::vector<std::uint8_t> frame(f.SizeBytes(), 0);
    for (int y = 0; y < f.height; ++y) {
        const int picture_row = f.height - 1 - y;  // memory row y holds picture row h-1-y
        std::uint8_t* row = frame.data() + static_cast<std::size_t>(y) * f.Stride();
        for (int x = 0; x < f.width; ++x) {
            const bool red = picture_row < top_rows;
            row[x * 3 + 0] = red ? 0 : 255;  // blue
            row[x * 3 + 1] = 0;
            row[x * 3 + 2] = red ? 255 : 0;  // red
        }
    }
    return frame;
}

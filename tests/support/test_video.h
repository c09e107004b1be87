#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Pictures with a known look and the videos made of them, for the timelapse
// tests: the picture is flat grey at `level` but for a white square in its
// top half whose place follows `index`, so that neighbours differ while the
// bottom half keeps the level the frame order can be read back from.
enum class TestJpegKind {
    kYuv420,  // as the diary writes them
    kYuv444,
    kGray,
    kRgb,  // red, green and blue samples, no YCbCr (an Adobe marker)
};
std::string TestJpegBytes(int width, int height, int level, int index,
                          TestJpegKind kind = TestJpegKind::kYuv420);

// The luma a flat JPEG grey of `level` has in a video (limited range).
double VideoLumaOf(int level);

struct DecodedVideo {
    std::string error;  // empty when the whole file decoded
    int frames = 0;
    int width = 0;
    int height = 0;
    int fps_n = 0;
    int fps_d = 0;
    std::vector<double> bottom_luma;  // per frame: mean luma of the bottom half
    std::uint64_t duration_ns = 0;    // end of the last frame
};

// Decodes a WebM (VP8) file with GStreamer, every frame.
DecodedVideo DecodeVideoFile(const std::string& path);

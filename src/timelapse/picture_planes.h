#pragma once

#include <cstddef>
#include <memory>
#include <string>

// One decoded picture as planes the video encoder takes without copying:
// the JPEG's own YCbCr planes where their sampling has a video format (the
// diary's own pictures are 4:2:0), brought from the JPEG's full range to the
// video range (16 to 235, as BT.601 video is read); grey pictures as 4:2:0
// with neutral colour; anything else as red-green-blue rows.
struct PicturePlanes {
    enum class Layout { kI420, kY42B, kY444, kY41B, kRgb };

    Layout layout = Layout::kRgb;
    int width = 0;  // as decoded
    int height = 0;
    int file_width = 0;  // the JPEG's own size
    int file_height = 0;
    int plane_count = 0;
    std::size_t offset[3] = {};
    int stride[3] = {};
    std::size_t size = 0;
    std::unique_ptr<unsigned char[]> bytes;
};

// Decodes the whole file; false when it is not a complete, valid JPEG (a cut
// off file only makes libjpeg warn: that counts as not decoding too), or
// when it needs more memory than a picture may take (kMaxDecodeBytes).
// A picture larger than `cover_width` x `cover_height` in both directions
// is decoded scaled down by libjpeg (by 1/8 to 7/8) to the smallest size
// that still covers that size in one of them, as red-green-blue rows; 0
// decodes at the file's size.
inline constexpr long kMaxDecodeBytes = 64L * 1024 * 1024;
bool DecodePicturePlanes(const std::string& path, PicturePlanes& out, int cover_width = 0,
                         int cover_height = 0);

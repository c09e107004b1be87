#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct DecodedJpeg {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // top row first, red first

    const std::uint8_t* At(int x, int y) const {
        return &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
    }
};

// Decodes the whole file; nullopt when it is not a complete, valid JPEG.
std::optional<DecodedJpeg> DecodeJpegFile(const std::string& path);

// Mean of every colour byte of a picture file, 0 to 255; -1 when it does not
// decode.
double MeanBrightness(const std::string& path);

#pragma once

#include <cstdint>
#include <string>

#include "capture/frame_format.h"

// Encodes a bottom-up, blue-first frame as a baseline JFIF file with the
// library's defaults and the given quality. The file appears under `path`
// only when it is complete and on the disk (AtomicFile); on any failure
// nothing is left behind and false is returned.
bool WriteJpegFile(const std::string& path, const FrameFormat& format, const std::uint8_t* pixels,
                   int quality);

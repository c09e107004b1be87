#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "capture/frame_format.h"

// Encodes a bottom-up, blue-first frame as a baseline JFIF file with the
// library's defaults and the given quality. The file appears under `path`
// only when it is complete and on the disk (AtomicFile); on any failure
// nothing is left behind and false is returned.
bool WriteJpegFile(const std::string& path, const FrameFormat& format, const std::uint8_t* pixels,
                   int quality);

// The same for a file that must not replace anything: it appears under the
// first of name_for(0), name_for(1), ... (an empty name ends the list) that
// no entry holds, taken in one step with that check. Returns the path used,
// empty on failure or when every name was taken.
std::string WriteNewJpegFile(const std::function<std::string(int)>& name_for,
                             const FrameFormat& format, const std::uint8_t* pixels, int quality);

#pragma once

// Private to the capture folder.

#include <vector>

#include "capture/device_dialogs.h"
#include "capture/gst_handle.h"

inline constexpr const char* kRawVideoMedia = "video/x-raw";
inline constexpr const char* kMotionJpegMedia = "image/jpeg";

// The formats an open device offers on its source pad, and the choice among
// them of the one to ask for.
class DeviceFormats {
public:
    // False when the pad offers nothing readable (the device then keeps its
    // own format).
    bool Read(GstPad* source_pad);
    void Clear() { caps_.reset(); }

    // Each size once per kind, raw before Motion-JPEG, with its frame
    // intervals fastest first; sizes and rates of ranges are the common ones
    // that fit.
    std::vector<DeviceFormatOffer> Offers() const;
    // See ChooseDeviceFormat.
    CapsHandle Choose(const DeviceFormat& requested, DeviceFormat& chosen) const;

private:
    CapsHandle caps_;
};

// The format filter's caps for the requested size and frame interval among
// the device's offers, and in `chosen` the format they give; null when the
// device does not offer the size.
CapsHandle ChooseDeviceFormat(GstCaps* device_caps, const DeviceFormat& requested,
                              DeviceFormat& chosen);

// The caps are Motion-JPEG.
bool IsMotionJpeg(GstCaps* caps);

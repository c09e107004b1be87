#include "capture/device_formats.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <numeric>
#include <tuple>
#include <utility>

namespace {

constexpr std::int64_t kUnitsPerSecond = 10000000;  // frame intervals count 100 ns units

std::int64_t IntervalOf(int numerator, int denominator) {
    if (numerator <= 0) return 0;
    return static_cast<std::int64_t>(
        std::llround(static_cast<double>(kUnitsPerSecond) * denominator / numerator));
}

// Sizes and rates tried against ranges, as cameras commonly offer them.
constexpr std::pair<int, int> kCommonSizes[] = {{160, 120},  {176, 144},  {320, 240},  {352, 288},
                                                {640, 360},  {640, 480},  {800, 600},  {1024, 768},
                                                {1280, 720}, {1280, 960}, {1920, 1080}};
constexpr int kCommonRates[] = {60, 30, 25, 20, 15, 10, 5};

bool IntFits(const GValue* value, int candidate) {
    if (value == nullptr) return false;
    GValue v = G_VALUE_INIT;
    g_value_init(&v, G_TYPE_INT);
    g_value_set_int(&v, candidate);
    const bool fits = gst_value_intersect(nullptr, &v, value);
    g_value_unset(&v);
    return fits;
}

bool FractionFits(const GValue* value, int numerator, int denominator) {
    GValue v = G_VALUE_INIT;
    g_value_init(&v, GST_TYPE_FRACTION);
    gst_value_set_fraction(&v, numerator, denominator);
    const bool fits = gst_value_intersect(nullptr, &v, value);
    g_value_unset(&v);
    return fits;
}

// The sizes a caps value offers: the values themselves when fixed or listed,
// the common sizes that fit when it is a range.
std::vector<std::pair<int, int>> SizesOf(const GstStructure* s) {
    const GValue* w = gst_structure_get_value(s, "width");
    const GValue* h = gst_structure_get_value(s, "height");
    std::vector<std::pair<int, int>> sizes;
    if (w == nullptr || h == nullptr) return sizes;
    if (G_VALUE_HOLDS_INT(w) && G_VALUE_HOLDS_INT(h)) {
        sizes.emplace_back(g_value_get_int(w), g_value_get_int(h));
        return sizes;
    }
    for (const auto& [cw, ch] : kCommonSizes) {
        if (IntFits(w, cw) && IntFits(h, ch)) sizes.emplace_back(cw, ch);
    }
    return sizes;
}

std::vector<std::int64_t> IntervalsOf(const GstStructure* s) {
    std::vector<std::int64_t> intervals;
    const GValue* rate = gst_structure_get_value(s, "framerate");
    if (rate == nullptr) return intervals;
    if (GST_VALUE_HOLDS_FRACTION(rate)) {
        intervals.push_back(IntervalOf(gst_value_get_fraction_numerator(rate),
                                       gst_value_get_fraction_denominator(rate)));
    } else if (GST_VALUE_HOLDS_LIST(rate)) {
        for (guint i = 0; i < gst_value_list_get_size(rate); ++i) {
            const GValue* item = gst_value_list_get_value(rate, i);
            if (GST_VALUE_HOLDS_FRACTION(item)) {
                intervals.push_back(IntervalOf(gst_value_get_fraction_numerator(item),
                                               gst_value_get_fraction_denominator(item)));
            }
        }
    } else {
        for (int fps : kCommonRates) {
            if (FractionFits(rate, fps, 1)) intervals.push_back(IntervalOf(fps, 1));
        }
    }
    intervals.erase(std::remove(intervals.begin(), intervals.end(), 0), intervals.end());
    return intervals;
}

// The device's offer of `media` at this size with the frame rate fixed
// nearest to the requested interval (any rate when none is requested); with
// `exact_rate`, only an offer within 1% of the requested rate.
StructureHandle OfferAt(GstCaps* device_caps, const char* media, const DeviceFormat& format,
                        bool exact_rate) {
    CapsHandle wanted = CapsHandle::Take(gst_caps_new_simple(
        media, "width", G_TYPE_INT, format.width, "height", G_TYPE_INT, format.height, nullptr));
    CapsHandle offered = CapsHandle::Take(gst_caps_intersect(device_caps, wanted.get()));
    if (!offered) return {};
    for (guint i = 0; i < gst_caps_get_size(offered.get()); ++i) {
        StructureHandle chosen =
            StructureHandle::Take(gst_structure_copy(gst_caps_get_structure(offered.get(), i)));
        if (!gst_structure_has_field(chosen.get(), "framerate")) {
            if (!exact_rate || format.frame_interval_100ns <= 0) return chosen;
            continue;
        }
        if (format.frame_interval_100ns > 0) {
            const std::int64_t divisor = std::gcd(kUnitsPerSecond, format.frame_interval_100ns);
            gst_structure_fixate_field_nearest_fraction(
                chosen.get(), "framerate", static_cast<int>(kUnitsPerSecond / divisor),
                static_cast<int>(format.frame_interval_100ns / divisor));
        } else {
            gst_structure_fixate_field(chosen.get(), "framerate");
        }
        int n = 0, d = 1;
        if (!gst_structure_get_fraction(chosen.get(), "framerate", &n, &d)) continue;
        const std::int64_t interval = IntervalOf(n, d);
        if (exact_rate && format.frame_interval_100ns > 0 &&
            std::llabs(interval - format.frame_interval_100ns) * 100 > format.frame_interval_100ns)
            continue;
        return chosen;
    }
    return {};
}

}  // namespace

bool DeviceFormats::Read(GstPad* source_pad) {
    caps_.reset();
    if (source_pad == nullptr) return false;
    CapsHandle caps = CapsHandle::Take(gst_pad_query_caps(source_pad, nullptr));
    if (!caps || gst_caps_is_empty(caps.get()) || gst_caps_is_any(caps.get())) return false;
    caps_ = std::move(caps);
    return true;
}

std::vector<DeviceFormatOffer> DeviceFormats::Offers() const {
    // Raw offers of a size before Motion-JPEG ones.
    std::map<std::tuple<int, int, bool>, std::vector<std::int64_t>> offered;
    if (!caps_) return {};
    for (guint i = 0; i < gst_caps_get_size(caps_.get()); ++i) {
        const GstStructure* s = gst_caps_get_structure(caps_.get(), i);
        const bool jpeg = gst_structure_has_name(s, kMotionJpegMedia);
        if (!jpeg && !gst_structure_has_name(s, kRawVideoMedia)) continue;
        const std::vector<std::int64_t> intervals = IntervalsOf(s);
        for (const auto& [width, height] : SizesOf(s)) {
            auto& list = offered[{width, height, jpeg}];
            list.insert(list.end(), intervals.begin(), intervals.end());
        }
    }
    std::vector<DeviceFormatOffer> offers;
    for (auto& [key, intervals] : offered) {
        std::sort(intervals.begin(), intervals.end());
        intervals.erase(std::unique(intervals.begin(), intervals.end()), intervals.end());
        offers.push_back(
            {std::get<0>(key), std::get<1>(key), std::move(intervals), std::get<2>(key)});
    }
    return offers;
}

CapsHandle DeviceFormats::Choose(const DeviceFormat& requested, DeviceFormat& chosen) const {
    return ChooseDeviceFormat(caps_.get(), requested, chosen);
}

CapsHandle ChooseDeviceFormat(GstCaps* device_caps, const DeviceFormat& format,
                              DeviceFormat& chosen_format) {
    if (device_caps == nullptr || format.width < 1 || format.height < 1) return {};
    // Raw when the device gives this size at this rate raw; otherwise
    // Motion-JPEG at its rate nearest to the request (webcams' larger sizes
    // and full rates); raw at its nearest rate when there is no Motion-JPEG.
    StructureHandle chosen;
    const char* media = kRawVideoMedia;
    for (const auto& [kind, exact] :
         {std::pair{kRawVideoMedia, true}, std::pair{kMotionJpegMedia, false},
          std::pair{kRawVideoMedia, false}}) {
        chosen = OfferAt(device_caps, kind, format, exact);
        if (chosen) {
            media = kind;
            break;
        }
    }
    if (!chosen) return {};
    chosen_format = DeviceFormat{format.width, format.height, 0};
    CapsHandle caps = CapsHandle::Take(gst_caps_new_simple(
        media, "width", G_TYPE_INT, format.width, "height", G_TYPE_INT, format.height, nullptr));
    int n = 0, d = 1;
    if (gst_structure_get_fraction(chosen.get(), "framerate", &n, &d)) {
        chosen_format.frame_interval_100ns = IntervalOf(n, d);
        gst_caps_set_simple(caps.get(), "framerate", GST_TYPE_FRACTION, n, d, nullptr);
    }
    return caps;
}

bool IsMotionJpeg(GstCaps* caps) {
    return caps != nullptr && !gst_caps_is_empty(caps) &&
           gst_structure_has_name(gst_caps_get_structure(caps, 0), kMotionJpegMedia);
}

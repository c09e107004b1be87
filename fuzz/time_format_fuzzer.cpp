// ExpandTimeFormat on arbitrary formats and time fields.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "diary/time_format.h"

namespace {

bool IsValidUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t len = b < 0x80             ? 1
                          : (b & 0xE0) == 0xC0 ? 2
                          : (b & 0xF0) == 0xE0 ? 3
                          : (b & 0xF8) == 0xF0 ? 4
                                               : 0;
        if (len == 0 || i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        }
        i += len;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    std::tm t{};
    // The time fields come from the end of the input, the format from its start.
    t.tm_year = input.ConsumeIntegral<int>();
    t.tm_mon = input.ConsumeIntegral<int>();
    t.tm_mday = input.ConsumeIntegral<int>();
    t.tm_hour = input.ConsumeIntegral<int>();
    t.tm_min = input.ConsumeIntegral<int>();
    t.tm_sec = input.ConsumeIntegral<int>();
    t.tm_wday = input.ConsumeIntegral<int>();
    const std::string format = input.ConsumeRemainingBytesAsString();

    const std::string text = ExpandTimeFormat(format, t);

    // Replacements insert whole characters only.
    if (IsValidUtf8(format) && !IsValidUtf8(text)) std::abort();
    // Without '%' or '\' there is nothing to replace.
    if (format.find_first_of("%\\") == std::string::npos && text != format) std::abort();
    return 0;
}

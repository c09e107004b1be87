#include "platform/cp932.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace {

// iconv descriptors are not thread-safe, so each thread keeps its own pair.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    iconv_t get() {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
        return cd_;
    }
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

private:
    iconv_t cd_;
};

// Length of the UTF-8 sequence starting at `s` (1 for an invalid lead byte)
// and its code point (U+FFFD when invalid).
std::size_t DecodeUtf8(std::string_view s, std::uint32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[0]);
    std::size_t len = 0;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
    } else {
        cp = 0xFFFD;
        return 1;
    }
    if (s.size() < len) {
        cp = 0xFFFD;
        return 1;
    }
    for (std::size_t i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if ((b & 0xC0) != 0x80) {
            cp = 0xFFFD;
            return 1;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    return len;
}

// Converts as much as iconv takes; returns the number of input bytes consumed.
std::size_t ConvertRun(iconv_t cd, std::string_view in, std::string& out) {
    char* inp = const_cast<char*>(in.data());
    std::size_t inleft = in.size();
    char buffer[4096];
    while (inleft > 0) {
        char* outp = buffer;
        std::size_t outleft = sizeof buffer;
        const std::size_t r = iconv(cd, &inp, &inleft, &outp, &outleft);
        out.append(buffer, static_cast<std::size_t>(outp - buffer));
        if (r != static_cast<std::size_t>(-1)) break;
        if (errno != E2BIG) break;
    }
    return in.size() - inleft;
}

}  // namespace

std::string Utf8ToCp932(std::string_view utf8, Unmappable mode) {
    thread_local Converter converter("CP932", "UTF-8");
    std::string out;
    out.reserve(utf8.size());
    if (!converter.ok()) return std::string(utf8);
    iconv_t cd = converter.get();
    while (!utf8.empty()) {
        const std::size_t used = ConvertRun(cd, utf8, out);
        utf8.remove_prefix(used);
        if (utf8.empty()) break;
        std::uint32_t cp = 0;
        const std::size_t len = DecodeUtf8(utf8, cp);
        if (mode == Unmappable::kHtmlReference && cp != 0xFFFD) {
            out += "&#" + std::to_string(cp) + ";";
        } else {
            out += '?';
        }
        utf8.remove_prefix(len);
        cd = converter.get();
    }
    return out;
}

std::string Cp932ToUtf8(std::string_view cp932) {
    thread_local Converter converter("UTF-8", "CP932");
    std::string out;
    out.reserve(cp932.size() + cp932.size() / 2);
    if (!converter.ok()) return std::string(cp932);
    iconv_t cd = converter.get();
    while (!cp932.empty()) {
        const std::size_t used = ConvertRun(cd, cp932, out);
        cp932.remove_prefix(used);
        if (cp932.empty()) break;
        out += "\xEF\xBF\xBD";
        cp932.remove_prefix(1);
        cd = converter.get();
    }
    return out;
}

std::size_t Cp932PrefixLength(std::string_view cp932, std::size_t max_bytes) {
    if (cp932.size() <= max_bytes) return cp932.size();
    std::size_t i = 0;
    while (i < max_bytes) {
        const std::size_t step = IsCp932LeadByte(static_cast<unsigned char>(cp932[i])) ? 2 : 1;
        if (i + step > max_bytes) break;
        i += step;
    }
    return i;
}

std::string TruncateToCp932Bytes(std::string_view utf8, std::size_t max_bytes) {
    std::size_t used = 0;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        std::uint32_t cp = 0;
        const std::size_t len = DecodeUtf8(utf8.substr(pos), cp);
        const std::size_t width = Utf8ToCp932(utf8.substr(pos, len)).size();
        if (used + width > max_bytes) break;
        used += width;
        pos += len;
    }
    return std::string(utf8.substr(0, pos));
}

std::size_t Cp932ByteLength(std::string_view utf8) { return Utf8ToCp932(utf8).size(); }

bool IsValidCp932(std::string_view bytes) {
    thread_local Converter converter("UTF-8", "CP932");
    if (!converter.ok()) return false;
    std::string ignored;
    return ConvertRun(converter.get(), bytes, ignored) == bytes.size();
}

bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        std::uint32_t cp = 0;
        const std::size_t len = DecodeUtf8(s.substr(i), cp);
        const std::uint32_t least = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
        if (len == 1 || cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}

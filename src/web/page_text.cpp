#include "web/page_text.h"

#include <cstdint>

#include "log/diary_notice.h"
#include "platform/atomic_file.h"
#include "platform/cp932.h"

std::string EncodePage(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + utf8.size() / 16);
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    // ASCII is the same in CP932, so only the runs of other characters go
    // through the converter.
    while (i < n) {
        std::size_t j = i;
        while (j < n) {
            const auto c = static_cast<unsigned char>(utf8[j]);
            if (c == '\n' || c >= 0x80) break;
            ++j;
        }
        out.append(utf8.data() + i, j - i);
        if (j == n) break;
        if (utf8[j] == '\n') {
            out += "\r\n";
            i = j + 1;
            continue;
        }
        std::size_t k = j;
        while (k < n && static_cast<unsigned char>(utf8[k]) >= 0x80) ++k;
        out += Utf8ToCp932(utf8.substr(j, k - j), Unmappable::kHtmlReference);
        i = k;
    }
    return out;
}

bool WritePageFile(const std::string& path, std::string_view utf8, NoticeSink& notices) {
    if (WriteFileAtomically(path, EncodePage(utf8))) return true;
    notices.Post(kNoticeFileOpenFailed);
    return false;
}

std::string LinkText(std::string_view name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size());
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        const bool escape = c < 0x20 || c == 0x7F || c == '"' || c == '<' || c == '>' || c == '&' ||
                            c == '#' || c == '?' || c == '%';
        if (escape) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += ch;
        }
    }
    return out;
}

int ThumbnailSide(int side, int percent) {
    // The 32-bit product wraps as it did in the original arithmetic instead of
    // being undefined.
    const auto product = static_cast<std::int32_t>(static_cast<std::uint32_t>(side) *
                                                   static_cast<std::uint32_t>(percent));
    return product / 100;
}

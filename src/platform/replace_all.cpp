#include "platform/replace_all.h"

void ReplaceAll(std::string& text, std::string_view marker, std::string_view replacement) {
    if (marker.empty()) return;
    std::size_t pos = text.find(marker);
    if (pos == std::string::npos) return;
    std::string out;
    out.reserve(text.size() + replacement.size());
    std::size_t from = 0;
    while (pos != std::string::npos) {
        out.append(text, from, pos - from);
        out.append(replacement);
        from = pos + marker.size();
        pos = text.find(marker, from);
    }
    out.append(text, from, std::string::npos);
    text.swap(out);
}

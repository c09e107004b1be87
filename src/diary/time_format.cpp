#include "diary/time_format.h"

#include <cstdio>
#include <string_view>

namespace {

constexpr const char* kEnglishWeekdays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kJapaneseWeekdays[7] = {"日", "月", "火", "水", "木", "金", "土"};

// Tokens are ASCII and UTF-8 continuation bytes never are, so a match can
// never start inside a multi-byte character.
void ReplaceAll(std::string& text, std::string_view token, std::string_view replacement) {
    std::string out;
    std::size_t from = 0;
    std::size_t hit = text.find(token);
    if (hit == std::string::npos) return;
    out.reserve(text.size() + replacement.size());
    while (hit != std::string::npos) {
        out.append(text, from, hit - from);
        out.append(replacement);
        from = hit + token.size();
        hit = text.find(token, from);
    }
    out.append(text, from, std::string::npos);
    text.swap(out);
}

std::string Digits(const char* pattern, long long value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

int WeekdayIndex(int tm_wday) { return ((tm_wday % 7) + 7) % 7; }

}  // namespace

std::string ExpandTimeFormat(const std::string& format, const std::tm& t) {
    std::string text = format;
    ReplaceAll(text, "%Y", Digits("%04lld", 1900LL + t.tm_year));
    ReplaceAll(text, "%M", Digits("%02lld", 1LL + t.tm_mon));
    ReplaceAll(text, "%D", Digits("%02lld", t.tm_mday));
    ReplaceAll(text, "%h", Digits("%02lld", t.tm_hour));
    ReplaceAll(text, "%m", Digits("%02lld", t.tm_min));
    ReplaceAll(text, "%s", Digits("%02lld", t.tm_sec));
    ReplaceAll(text, "%W", kEnglishWeekdays[WeekdayIndex(t.tm_wday)]);
    ReplaceAll(text, "%w", kJapaneseWeekdays[WeekdayIndex(t.tm_wday)]);
    ReplaceAll(text, "\\n", "\n");
    ReplaceAll(text, "\\r", "\r");
    return text;
}

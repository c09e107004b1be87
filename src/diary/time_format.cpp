#include "diary/time_format.h"

#include <cstdio>
#include <string_view>

#include "platform/replace_all.h"
#include "platform/weekdays.h"

namespace {

std::string Digits(const char* pattern, long long value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

}  // namespace

std::string ExpandTimeFormat(const std::string& format, const std::tm& t) {
    std::string text = format;
    // Tokens are ASCII and UTF-8 continuation bytes never are, so a match can
    // never start inside a multi-byte character.
    ReplaceAll(text, "%Y", Digits("%04lld", 1900LL + t.tm_year));
    ReplaceAll(text, "%M", Digits("%02lld", 1LL + t.tm_mon));
    ReplaceAll(text, "%D", Digits("%02lld", t.tm_mday));
    ReplaceAll(text, "%h", Digits("%02lld", t.tm_hour));
    ReplaceAll(text, "%m", Digits("%02lld", t.tm_min));
    ReplaceAll(text, "%s", Digits("%02lld", t.tm_sec));
    ReplaceAll(text, "%W", EnglishWeekday(t.tm_wday));
    ReplaceAll(text, "%w", JapaneseWeekday(t.tm_wday));
    ReplaceAll(text, "\\n", "\n");
    ReplaceAll(text, "\\r", "\r");
    return text;
}

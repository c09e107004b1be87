#include "timelapse/day_video_name.h"

#include <algorithm>

namespace {

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int Number(std::string_view digits) {
    int value = 0;
    for (char c : digits) value = value * 10 + (c - '0');
    return value;
}

}  // namespace

bool IsDayFolderName(std::string_view name) {
    if (name.size() != 8 || !AllDigits(name)) return false;
    const int year = Number(name.substr(0, 4));
    const int month = Number(name.substr(4, 2));
    const int day = Number(name.substr(6, 2));
    if (year < 1 || month < 1 || month > 12 || day < 1) return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool IsDayPictureName(std::string_view day_name, std::string_view name) {
    constexpr std::string_view kExtension = ".jpg";
    if (day_name.size() != 8 || name.size() < 14 + kExtension.size() ||
        !name.starts_with(day_name) || !name.ends_with(kExtension) ||
        !AllDigits(name.substr(0, 14))) {
        return false;
    }
    const std::string_view rest = name.substr(14, name.size() - 14 - kExtension.size());
    return rest.empty() || (rest.size() >= 2 && rest[0] == '_' && AllDigits(rest.substr(1)));
}

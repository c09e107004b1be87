#include "diary/layout/diary_names.h"

#include <algorithm>
#include <cstdio>

#include "platform/atomic_file.h"

namespace {

constexpr std::string_view kPictureExtension = ".jpg";
constexpr std::size_t kTimeDigits = 14;
constexpr std::size_t kRepeatLength = 4;  // "_NNN"

bool AllDigits(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int Number(std::string_view digits) {
    int n = 0;
    for (const char c : digits) n = n * 10 + (c - '0');
    return n;
}

}  // namespace

int DaysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::string DayVideoName(std::string_view day_name) { return std::string(day_name) + ".webm"; }

std::string DayVideoTemporaryName(std::string_view day_name) {
    return DayVideoName(day_name) + std::string(kTemporarySuffix);
}

std::string DayDirectoryName(const std::tm& t) {
    char name[16];
    std::snprintf(name, sizeof name, "%04d%02d%02d", (t.tm_year + 1900) % 100000,
                  (t.tm_mon + 1) % 100, t.tm_mday % 100);
    return name;
}

std::string PictureFileName(const std::tm& t, int repeat) {
    if (repeat < 0 || repeat > kMaxPictureRepeat) return {};
    char name[40];
    std::snprintf(name, sizeof name, "%04d%02d%02d%02d%02d%02d", (t.tm_year + 1900) % 100000,
                  (t.tm_mon + 1) % 100, t.tm_mday % 100, t.tm_hour % 100, t.tm_min % 100,
                  t.tm_sec % 100);
    std::string file = name;
    if (repeat > 0) {
        std::snprintf(name, sizeof name, "_%03d", repeat);
        file += name;
    }
    file += kPictureExtension;
    return file;
}

bool IsDayDirectoryName(std::string_view name) {
    if (name.size() != 8 || !AllDigits(name)) return false;
    const int year = Number(name.substr(0, 4));
    const int month = Number(name.substr(4, 2));
    const int day = Number(name.substr(6, 2));
    return year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

bool IsPictureFileName(std::string_view name, std::string_view day) {
    if (!name.ends_with(kPictureExtension)) return false;
    std::string_view stem = name.substr(0, name.size() - kPictureExtension.size());
    if (stem.size() == kTimeDigits + kRepeatLength) {
        const std::string_view repeat = stem.substr(kTimeDigits);
        if (repeat[0] != '_' || !AllDigits(repeat.substr(1)) || Number(repeat.substr(1)) < 1)
            return false;
        stem = stem.substr(0, kTimeDigits);
    }
    if (stem.size() != kTimeDigits || !AllDigits(stem)) return false;
    if (!IsDayDirectoryName(stem.substr(0, 8))) return false;
    if (!day.empty() && stem.substr(0, 8) != day) return false;
    return Number(stem.substr(8, 2)) < 24 && Number(stem.substr(10, 2)) < 60 &&
           Number(stem.substr(12, 2)) <= 60;
}

bool IsPictureTemporaryName(std::string_view name, std::string_view day) {
    const std::string_view target = TemporaryTarget(name);
    return IsPictureFileName(target, day) && IsTemporaryNameFor(name, target);
}

bool IsPageTemporaryName(std::string_view name, std::string_view page_name) {
    return IsTemporaryNameFor(name, page_name);
}

bool IsOwnDayFile(std::string_view day, std::string_view name, std::string_view day_page) {
    if (IsPictureFileName(name, day) || IsPictureTemporaryName(name, day)) return true;
    if (!day_page.empty() && (name == day_page || IsPageTemporaryName(name, day_page))) return true;
    return name == DayVideoName(day) || name == DayVideoTemporaryName(day);
}

bool IsPagePictureName(std::string_view name) {
    if (name.size() < 4) return false;
    const std::string_view tail = name.substr(name.size() - 4);
    return tail[0] == '.' && (tail[1] | 0x20) == 'j' && (tail[2] | 0x20) == 'p' &&
           (tail[3] | 0x20) == 'g';
}

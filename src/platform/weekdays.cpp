#include "platform/weekdays.h"

namespace {

constexpr const char* kJapanese[7] = {"日", "月", "火", "水", "木", "金", "土"};
constexpr const char* kEnglish[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

int Index(int weekday) { return ((weekday % 7) + 7) % 7; }

}  // namespace

const char* JapaneseWeekday(int weekday) { return kJapanese[Index(weekday)]; }

const char* EnglishWeekday(int weekday) { return kEnglish[Index(weekday)]; }

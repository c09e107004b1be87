#pragma once

#include <ctime>

// The moment a wall clock in the machine's time zone shows the given local
// time (daylight saving as that zone has it on that day).
inline std::time_t LocalTime(int year, int month, int day, int hour = 12, int minute = 0,
                             int second = 0) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

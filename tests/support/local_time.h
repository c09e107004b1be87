#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

// The fields of a date and time, for mktime or timegm.
inline std::tm CalendarTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return t;
}

// The moment a wall clock in the machine's time zone shows the given local
// time (daylight saving as that zone has it on that day).
inline std::time_t LocalTime(int year, int month, int day, int hour = 12, int minute = 0,
                             int second = 0) {
    std::tm t = CalendarTime(year, month, day, hour, minute, second);
    return std::mktime(&t);
}

// TZ for one test, whatever the machine's zone; the old one comes back after.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (old_) {
            ::setenv("TZ", old_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> old_;
};

// A moment given in UTC: times around a change of summer time, unambiguous.
inline std::time_t Utc(int year, int month, int day, int hour, int minute = 0, int second = 0) {
    std::tm t = CalendarTime(year, month, day, hour, minute, second);
    return ::timegm(&t);
}

#include "platform/iso_time.h"

#include <cstdio>

std::string IsoLocalTime(const std::tm& t) {
    const long offset_minutes = t.tm_gmtoff / 60;
    const long magnitude = offset_minutes < 0 ? -offset_minutes : offset_minutes;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                  offset_minutes < 0 ? '-' : '+', magnitude / 60 % 100, magnitude % 60);
    return text;
}

#pragma once

#include <ctime>
#include <string>

// "2024-03-15T09:30:05+09:00": local time with the offset it was taken in
// (tm_gmtoff), as commands and the smart home read a picture's time.
std::string IsoLocalTime(const std::tm& time);

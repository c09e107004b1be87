#pragma once

// Weekday names, 0 = Sunday; any other value counts modulo 7, as a time
// field out of range may.
const char* JapaneseWeekday(int weekday);  // "日" .. "土"
const char* EnglishWeekday(int weekday);   // "Sun" .. "Sat"

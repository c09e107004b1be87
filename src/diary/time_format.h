#pragma once

#include <ctime>
#include <string>

// TIME_FORMAT (UTF-8) with its tokens replaced by the capture time, in this
// order: %Y %M %D %h %m %s %W %w, then the two-character sequences \n and \r.
// Every replacement scans the result of the previous one once, left to right.
std::string ExpandTimeFormat(const std::string& format, const std::tm& capture_time);

#pragma once

#include <string>

// The text of the framework's standard file error message box for `path`,
// chosen by the system error number of the failed call.
std::string FileErrorMessage(const std::string& path, int error_number);

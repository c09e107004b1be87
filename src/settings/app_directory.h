#pragma once

#include <string>

// The folder of the running executable, ending in "/"; the environment
// variable QUILLOMAT_HOME overrides it. Computed anew on every call.
std::string GetAppDirectory();

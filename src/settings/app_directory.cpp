#include "settings/app_directory.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

std::string GetAppDirectory() {
    std::string dir;
    if (const char* home = std::getenv("QUILLOMAT_HOME"); home != nullptr && *home != '\0') {
        dir = home;
    } else {
        std::error_code ec;
        const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
        dir = ec ? std::string(".") : exe.parent_path().string();
    }
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

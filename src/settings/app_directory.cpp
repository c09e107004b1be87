#include "settings/app_directory.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace {

std::string WithSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

std::string UserHome() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return entry->pw_dir;
    return "/tmp";
}

}  // namespace

std::string AppDirectoryFor(const char* quillomat_home, const std::filesystem::path& executable_dir,
                            const std::string& user_home) {
    if (quillomat_home != nullptr && *quillomat_home != '\0') return WithSlash(quillomat_home);
    if (!executable_dir.empty() && ::access(executable_dir.c_str(), W_OK) == 0)
        return WithSlash(executable_dir.string());
    const std::filesystem::path data = std::filesystem::path(user_home) / ".local/share/quillomat";
    std::error_code ec;
    std::filesystem::create_directories(data, ec);
    return WithSlash(data.string());
}

std::string GetAppDirectory() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return AppDirectoryFor(std::getenv("QUILLOMAT_HOME"),
                           ec ? std::filesystem::path(".") : exe.parent_path(), UserHome());
}

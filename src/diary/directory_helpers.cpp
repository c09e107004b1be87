#include "diary/directory_helpers.h"

#include <sys/stat.h>

#include <filesystem>

bool EntryExists(const std::string& directory, const std::string& name) {
    if (name.empty()) return false;
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(directory) / name, ec);
}

bool EnsureSubdirectory(const std::string& directory, const std::string& name) {
    if (EntryExists(directory, name)) return true;
    const std::string path = (std::filesystem::path(directory) / name).string();
    return ::mkdir(path.c_str(), 0755) == 0;
}

bool IsSymbolicLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

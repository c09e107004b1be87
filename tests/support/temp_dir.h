#pragma once

#include <filesystem>
#include <string>

// A fresh folder under the system's temporary folder, removed with its
// content at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path as a string ending in "/".
    std::string str() const { return path_.string() + "/"; }

private:
    std::filesystem::path path_;
};

std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

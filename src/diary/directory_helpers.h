#pragma once

#include <string>

// True when `name` exists directly inside `directory` (file or folder).
bool EntryExists(const std::string& directory, const std::string& name);

// True when `name` exists in `directory` or could be made there as a folder;
// never makes missing parents.
bool EnsureSubdirectory(const std::string& directory, const std::string& name);

// True when `path` itself is a symbolic link (whatever it points to).
bool IsSymbolicLink(const std::string& path);

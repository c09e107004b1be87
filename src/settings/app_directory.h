#pragma once

#include <filesystem>
#include <string>

// The folder of "setup.ini", "device.ini", "log.txt" and the snapshot's
// temporary files, ending in "/": QUILLOMAT_HOME when it is set; otherwise
// the folder of the running executable when it is writable (a copy run from
// where it was built or unpacked); otherwise, as for an installed copy,
// ~/.local/share/quillomat/, made on first use. Computed anew on every call.
std::string GetAppDirectory();

// The same rule on given inputs: the value of QUILLOMAT_HOME (nullptr when
// unset), the executable's folder and the user's home folder.
std::string AppDirectoryFor(const char* quillomat_home, const std::filesystem::path& executable_dir,
                            const std::string& user_home);

#pragma once

#include <string>

// An advisory lock that one process holds on a folder for as long as it
// lives: flock(2) on the file "quillomat.lock" in the folder (on the folder
// itself where that file cannot be opened). The kernel drops it when the
// process ends, however it ends, so a kill or a power cut leaves no stale
// lock behind; the file itself stays and is used again.
class FolderLock {
public:
    enum class Outcome {
        kTaken,          // this process holds the lock
        kHeldElsewhere,  // another process holds it
        kUnavailable,    // no lock could be tried (see Error())
    };

    static constexpr const char* kFileName = "quillomat.lock";

    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    Outcome Take(const std::string& folder);
    const std::string& Error() const { return error_; }

private:
    int fd_ = -1;
    std::string error_;
};

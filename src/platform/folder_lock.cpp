#include "platform/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

FolderLock::~FolderLock() {
    if (fd_ >= 0) ::close(fd_);
}

FolderLock::Outcome FolderLock::Take(const std::string& folder) {
    if (fd_ >= 0) return Outcome::kTaken;
    std::string path = folder;
    if (path.empty() || path.back() != '/') path += '/';
    path += kFileName;
    // Never through a link planted at the name. A folder this user may only
    // read still gets a lock: on the file if it is there, else on the folder.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error_ = folder + ": " + std::strerror(errno);
        return Outcome::kUnavailable;
    }
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) return Outcome::kHeldElsewhere;
        error_ = path + ": " + std::strerror(error);
        return Outcome::kUnavailable;
    }
    fd_ = fd;
    return Outcome::kTaken;
}

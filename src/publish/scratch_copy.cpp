#include "publish/scratch_copy.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

namespace fs = std::filesystem;

constexpr const char* kScratchPrefix = "quillomat-publish-";

// Removes scratch folders that killed runs of ours left behind.
void SweepScratch(const std::string& tmp) {
    std::error_code ec;
    for (fs::directory_iterator it(tmp, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(kScratchPrefix)) continue;
        const long pid = std::strtol(name.c_str() + std::strlen(kScratchPrefix), nullptr, 10);
        struct stat st {};
        if (pid <= 0 || ::lstat(it->path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != ::getuid()) {
            continue;
        }
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            std::error_code remove_ec;
            fs::remove_all(it->path(), remove_ec);
        }
    }
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::size_t most, std::string& content, Stamp& stamp) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    struct stat st {};
    bool whole = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                 static_cast<std::size_t>(st.st_size) <= most;
    if (whole) {
        content.resize(static_cast<std::size_t>(st.st_size));
        std::size_t got = 0;
        while (got < content.size()) {
            const ssize_t n = ::read(fd, content.data() + got, content.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        whole = got == content.size();
        stamp = {static_cast<std::int64_t>(st.st_size),
                 static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
    }
    ::close(fd);
    return whole;
}

ScratchFolder::~ScratchFolder() {
    if (path_.empty()) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string ScratchFolder::Path(std::string& why) {
    if (!path_.empty()) return path_;
    const char* tmp_env = std::getenv("TMPDIR");
    std::string tmp = tmp_env && *tmp_env ? tmp_env : "/tmp";
    if (tmp.back() != '/') tmp += '/';
    SweepScratch(tmp);
    std::string name = tmp + kScratchPrefix + std::to_string(::getpid()) + "-XXXXXX";
    if (::mkdtemp(name.data()) == nullptr) {
        why = tmp + ": " + std::strerror(errno);
        return {};
    }
    path_ = name + "/";
    return path_;
}

bool ScratchFolder::Write(const std::string& name, const std::string& content, const Stamp& stamp,
                          std::string& why) {
    if (path_.empty() && Path(why).empty()) return false;
    const std::string copy = path_ + name;
    const int out = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool written = out >= 0;
    for (std::size_t put = 0; written && put < content.size();) {
        const ssize_t n = ::write(out, content.data() + put, content.size() - put);
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        if (written) put += static_cast<std::size_t>(n);
    }
    if (written) {
        const timespec mtime{static_cast<time_t>(stamp.mtime_ns / 1'000'000'000),
                             static_cast<long>(stamp.mtime_ns % 1'000'000'000)};
        const timespec times[2] = {mtime, mtime};
        ::futimens(out, times);
    }
    if (!written) why = copy + ": " + std::strerror(errno);
    if (out >= 0) ::close(out);
    if (!written) ::unlink(copy.c_str());
    return written;
}

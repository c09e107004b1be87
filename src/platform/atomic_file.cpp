#include "platform/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

std::atomic<bool> g_disk_flushes{true};

// EINVAL: the file system has nothing to flush (it offers no fsync); any
// other error means the bytes may not be on the disk.
bool Flush(int fd) {
    while (::fsync(fd) != 0) {
        if (errno == EINTR) continue;
        return errno == EINVAL;
    }
    return true;
}

void FlushFolderOf(const std::filesystem::path& path) {
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    // The file is in place already; a folder that cannot be flushed leaves
    // only its entry to the kernel's write-back, so the write still counts.
    Flush(fd);
    ::close(fd);
}

}  // namespace

void SetDiskFlushes(bool on) { g_disk_flushes.store(on); }

std::filesystem::path TemporaryPathFor(const std::filesystem::path& path) {
    std::filesystem::path temp = path;
    temp += kTemporarySuffix;
    return temp;
}

AtomicFile::AtomicFile(std::filesystem::path path)
    : path_(std::move(path)), temp_(TemporaryPathFor(path_)) {
    stream_ = std::fopen(temp_.c_str(), "wbe");
}

AtomicFile::~AtomicFile() { Abandon(); }

void AtomicFile::Abandon() {
    if (stream_ == nullptr) return;
    std::fclose(stream_);
    stream_ = nullptr;
    ::unlink(temp_.c_str());
}

bool AtomicFile::Commit() {
    if (stream_ == nullptr) return false;
    bool ok = std::fflush(stream_) == 0 && std::ferror(stream_) == 0;
    const bool flushes = g_disk_flushes.load();
    // A stream without a descriptor (fopencookie) is flushed by its own
    // functions; there is nothing more to flush here.
    const int fd = ::fileno(stream_);
    if (ok && flushes && fd >= 0) ok = Flush(fd);
    std::FILE* stream = stream_;
    stream_ = nullptr;
    if (std::fclose(stream) != 0) ok = false;
    if (ok && std::rename(temp_.c_str(), path_.c_str()) != 0) ok = false;
    if (!ok) {
        ::unlink(temp_.c_str());
        return false;
    }
    if (flushes) FlushFolderOf(path_);
    return true;
}

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    AtomicFile file(path);
    if (file.Stream() == nullptr) return false;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.Stream()) != bytes.size())
        return false;
    return file.Commit();
}

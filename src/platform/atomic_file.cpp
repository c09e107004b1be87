#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <random>

namespace {

std::atomic<bool> g_disk_flushes{true};

constexpr std::string_view kTagLetters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr int kCreateAttempts = 100;

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

std::string RandomTag() {
    thread_local std::mt19937_64 generator = [] {
        std::uint64_t seed = 0;
        if (::getrandom(&seed, sizeof seed, 0) != static_cast<ssize_t>(sizeof seed))
            seed = std::random_device{}();
        return std::mt19937_64(seed ^ static_cast<std::uint64_t>(::gettid()));
    }();
    std::uniform_int_distribution<std::size_t> pick(0, kTagLetters.size() - 1);
    std::string tag(kTemporaryTagLength, 'x');
    for (char& c : tag) c = kTagLetters[pick(generator)];
    return tag;
}

// "x" is O_CREAT with O_EXCL, which fails on any entry at the name, a link
// included (it is never followed), so nothing planted there is ever opened.
// Through fopen, so that the full-disk tests' preloaded shim sees the writes.
std::FILE* CreateExclusive(const std::filesystem::path& path, std::filesystem::path& temp) {
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        std::filesystem::path candidate = path;
        candidate += "." + RandomTag() + std::string(kTemporarySuffix);
        std::FILE* stream = std::fopen(candidate.c_str(), "wbxe");
        if (stream == nullptr) {
            if (errno == EEXIST) continue;
            return nullptr;
        }
        temp = std::move(candidate);
        return stream;
    }
    return nullptr;
}

bool IsTagLetter(char c) { return kTagLetters.find(c) != std::string_view::npos; }

// 0 when `from` now has the name `to`, EEXIST when an entry holds `to`,
// otherwise the error. `from` is gone only on success.
int PlaceWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    int error = errno;
    if (error != EINVAL && error != ENOSYS && error != ENOTSUP) return error;
    // File systems without that rename: a second name made by link(2) is
    // refused as well when the name is taken.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    error = errno;
    if (error != EPERM && error != ENOTSUP && error != ENOSYS) return error;
    // No links either (FAT, some network shares): the name is taken first by
    // an empty file made exclusively, then our own file replaces it.
    const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    ::close(fd);
    if (::rename(from.c_str(), to.c_str()) == 0) return 0;
    error = errno;
    ::unlink(to.c_str());
    return error;
}

}  // namespace

void SetDiskFlushes(bool on) { g_disk_flushes.store(on); }

bool IsTemporaryNameFor(std::string_view candidate, std::string_view name) {
    if (name.empty() || !candidate.starts_with(name) || !candidate.ends_with(kTemporarySuffix))
        return false;
    const std::string_view middle =
        candidate.substr(name.size(), candidate.size() - name.size() - kTemporarySuffix.size());
    return middle.empty() || (middle.size() == kTemporaryTagLength + 1 && middle[0] == '.' &&
                              std::all_of(middle.begin() + 1, middle.end(), IsTagLetter));
}

std::string_view TemporaryTarget(std::string_view candidate) {
    if (!candidate.ends_with(kTemporarySuffix)) return {};
    std::string_view stem = candidate.substr(0, candidate.size() - kTemporarySuffix.size());
    const std::size_t tagged = kTemporaryTagLength + 1;
    if (stem.size() > tagged && stem[stem.size() - tagged] == '.' &&
        std::all_of(stem.end() - kTemporaryTagLength, stem.end(), IsTagLetter)) {
        return stem.substr(0, stem.size() - tagged);
    }
    return stem;
}

void RemoveRegularFile(const std::filesystem::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    // unlink removes a link itself, never what it points to, should the entry
    // have been swapped for one since the look.
    ::unlink(path.c_str());
}

AtomicFile::AtomicFile(std::filesystem::path path) : path_(std::move(path)) {
    stream_ = CreateExclusive(path_, temp_);
}

AtomicFile::~AtomicFile() { Abandon(); }

void AtomicFile::Abandon() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

bool AtomicFile::Finish() {
    if (stream_ == nullptr) return false;
    bool ok = std::fflush(stream_) == 0 && std::ferror(stream_) == 0;
    // A stream without a descriptor (fopencookie) is flushed by its own
    // functions; there is nothing more to flush here.
    const int fd = ::fileno(stream_);
    if (ok && g_disk_flushes.load() && fd >= 0) ok = Flush(fd);
    std::FILE* stream = stream_;
    stream_ = nullptr;
    if (std::fclose(stream) != 0) ok = false;
    return ok;
}

bool AtomicFile::Commit() {
    if (!Finish() || std::rename(temp_.c_str(), path_.c_str()) != 0) {
        Abandon();
        return false;
    }
    temp_.clear();
    if (g_disk_flushes.load()) FlushFolderOf(path_);
    return true;
}

std::filesystem::path AtomicFile::CommitNew(
    const std::function<std::filesystem::path(int)>& name_for) {
    if (!Finish()) {
        Abandon();
        return {};
    }
    for (int n = 0;; ++n) {
        std::filesystem::path name = name_for(n);
        if (name.empty()) break;
        const int error = PlaceWithoutReplacing(temp_, name);
        if (error == EEXIST) continue;
        if (error != 0) break;
        temp_.clear();
        if (g_disk_flushes.load()) FlushFolderOf(name);
        return name;
    }
    Abandon();
    return {};
}

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    AtomicFile file(path);
    if (file.Stream() == nullptr) return false;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.Stream()) != bytes.size())
        return false;
    return file.Commit();
}

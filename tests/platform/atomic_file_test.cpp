#include "platform/atomic_file.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_dir.h"

namespace {

// fsync and rename as the writers call them, recorded in order while
// `g_recording` is set: "fsync <path>" and "rename <from> <to>".
std::mutex g_events_mutex;
std::vector<std::string> g_events;
bool g_recording = false;

void Record(const std::string& event) {
    std::lock_guard lock(g_events_mutex);
    if (g_recording) g_events.push_back(event);
}

std::string PathOf(int fd) {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), ec).string();
}

class RecordedCalls {
public:
    RecordedCalls() {
        std::lock_guard lock(g_events_mutex);
        g_events.clear();
        g_recording = true;
    }
    ~RecordedCalls() {
        std::lock_guard lock(g_events_mutex);
        g_recording = false;
    }
    std::vector<std::string> Take() {
        std::lock_guard lock(g_events_mutex);
        return std::exchange(g_events, {});
    }
};

}  // namespace

// Interposed for the whole test binary; calls go on to the C library.
extern "C" int fsync(int fd) {
    static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    Record("fsync " + PathOf(fd));
    return real(fd);
}

extern "C" int rename(const char* from, const char* to) {
    static const auto real =
        reinterpret_cast<int (*)(const char*, const char*)>(dlsym(RTLD_NEXT, "rename"));
    Record(std::string("rename ") + from + " " + to);
    return real(from, to);
}

namespace {

TEST(WriteFileAtomically, ReplacesWholeOrKeepsOld) {
    TempDir dir;
    const auto path = dir.path() / "page.html";
    ASSERT_TRUE(WriteFileAtomically(path, "first"));
    ASSERT_TRUE(WriteFileAtomically(path, "second"));
    EXPECT_EQ(ReadFileBytes(path), "second");

    // The page path taken by a folder: the write fails, nothing is left over.
    const auto blocked = dir.path() / "blocked";
    std::filesystem::create_directory(blocked);
    EXPECT_FALSE(WriteFileAtomically(blocked, "x"));
    EXPECT_TRUE(std::filesystem::is_directory(blocked));
    EXPECT_FALSE(std::filesystem::exists(TemporaryPathFor(blocked)));
    EXPECT_FALSE(WriteFileAtomically(dir.path() / "no" / "such", "x"));

    // An abandoned stream write leaves the old file and no temporary file.
    {
        AtomicFile file(path);
        ASSERT_NE(file.Stream(), nullptr);
        std::fputs("third", file.Stream());
    }
    EXPECT_EQ(ReadFileBytes(path), "second");
    EXPECT_FALSE(std::filesystem::exists(TemporaryPathFor(path)));
}

// A power cut right after a write must find the new file: its data is on the
// disk before the rename makes it visible, and the folder entry after it.
TEST(WriteFileAtomically, FlushesTheFileBeforeTheRenameAndTheFolderAfter) {
    TempDir dir;
    const std::string folder = std::filesystem::canonical(dir.path()).string();
    const std::string path = folder + "/20240315093005.jpg";
    const std::string temp = TemporaryPathFor(path).string();
    const std::vector<std::string> flushed = {"fsync " + temp, "rename " + temp + " " + path,
                                              "fsync " + folder};
    {
        RecordedCalls calls;
        ASSERT_TRUE(WriteFileAtomically(path, std::string(50000, 'x')));
        EXPECT_EQ(calls.Take(), flushed);

        AtomicFile file(path);
        ASSERT_NE(file.Stream(), nullptr);
        std::fputs("stream", file.Stream());
        ASSERT_TRUE(file.Commit());
        EXPECT_EQ(calls.Take(), flushed);

        // Measurements switch the flushes off; the rename stays.
        SetDiskFlushes(false);
        ASSERT_TRUE(WriteFileAtomically(path, "unflushed"));
        SetDiskFlushes(true);
        EXPECT_EQ(calls.Take(), std::vector<std::string>{flushed[1]});
    }
    EXPECT_EQ(ReadFileBytes(path), "unflushed");
}

}  // namespace

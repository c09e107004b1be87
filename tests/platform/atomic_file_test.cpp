#include "platform/atomic_file.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <mutex>
#include <set>
#include <string>
#include <thread>
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

namespace fs = std::filesystem;

std::set<std::string> Entries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

TEST(WriteFileAtomically, ReplacesWholeOrKeepsOld) {
    TempDir dir;
    const auto path = dir.path() / "page.html";
    ASSERT_TRUE(WriteFileAtomically(path, "first"));
    ASSERT_TRUE(WriteFileAtomically(path, "second"));
    EXPECT_EQ(ReadFileBytes(path), "second");

    // The page path taken by a folder: the write fails, nothing is left over.
    const auto blocked = dir.path() / "blocked";
    fs::create_directory(blocked);
    EXPECT_FALSE(WriteFileAtomically(blocked, "x"));
    EXPECT_TRUE(fs::is_directory(blocked));
    EXPECT_FALSE(WriteFileAtomically(dir.path() / "no" / "such", "x"));

    // An abandoned stream write leaves the old file and no temporary file.
    {
        AtomicFile file(path);
        ASSERT_NE(file.Stream(), nullptr);
        EXPECT_TRUE(IsTemporaryNameFor(file.TemporaryPath().filename().string(), "page.html"));
        std::fputs("third", file.Stream());
    }
    EXPECT_EQ(ReadFileBytes(path), "second");
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"blocked", "page.html"}));
}

// Someone who may write into the folder (a shared web folder) plants links
// where the temporary files went: they are neither written through nor
// removed, and the writes still land where they belong.
TEST(WriteFileAtomically, PlantedLinksAtTemporaryNamesAreNeitherFollowedNorRemoved) {
    TempDir dir;
    TempDir elsewhere;
    const auto target = elsewhere.path() / "mine.txt";
    WriteFileBytes(target, "the user's own file");
    const auto path = dir.path() / "preview.html";
    fs::create_symlink(target, dir.path() / "preview.html.tmp");
    fs::create_symlink(elsewhere.path() / "new.txt", dir.path() / "preview.html.AAAAAA.tmp");

    ASSERT_TRUE(WriteFileAtomically(path, "<html>"));
    EXPECT_EQ(ReadFileBytes(path), "<html>");
    EXPECT_EQ(ReadFileBytes(target), "the user's own file");
    EXPECT_FALSE(fs::exists(elsewhere.path() / "new.txt"));
    EXPECT_TRUE(fs::is_symlink(dir.path() / "preview.html.tmp"));

    RemoveRegularFile(dir.path() / "preview.html.tmp");
    EXPECT_TRUE(fs::is_symlink(dir.path() / "preview.html.tmp"));
    EXPECT_EQ(ReadFileBytes(target), "the user's own file");
}

TEST(TemporaryNames, AreRecognisedExactly) {
    EXPECT_TRUE(IsTemporaryNameFor("preview.html.tmp", "preview.html"));
    EXPECT_TRUE(IsTemporaryNameFor("preview.html.Xq3Tb9.tmp", "preview.html"));
    EXPECT_FALSE(IsTemporaryNameFor("preview.html.Xq3Tb.tmp", "preview.html"));
    EXPECT_FALSE(IsTemporaryNameFor("preview.html.Xq-Tb9.tmp", "preview.html"));
    EXPECT_FALSE(IsTemporaryNameFor("preview.htmlXq3Tb9.tmp", "preview.html"));
    EXPECT_FALSE(IsTemporaryNameFor("preview.html", "preview.html"));
    EXPECT_FALSE(IsTemporaryNameFor("xpreview.html.tmp", "preview.html"));
    EXPECT_FALSE(IsTemporaryNameFor(".tmp", ""));
    EXPECT_EQ(TemporaryTarget("a.jpg.Xq3Tb9.tmp"), "a.jpg");
    EXPECT_EQ(TemporaryTarget("a.jpg.tmp"), "a.jpg");
    EXPECT_EQ(TemporaryTarget("a.jpg"), "");
}

// A name in use is never replaced, also when two writers reach for the same
// names at the same moment: every write ends under a name of its own.
TEST(AtomicFileCommitNew, NeverReplacesAnEntryEvenAgainstAConcurrentWriter) {
    TempDir dir;
    TempDir elsewhere;
    const auto name_for = [&](int n) {
        return n > 300 ? fs::path() : dir.path() / ("p" + std::to_string(n) + ".jpg");
    };
    WriteFileBytes(name_for(0), "earlier");
    // A dangling link counts as taken and leads nowhere.
    fs::create_symlink(elsewhere.path() / "made.jpg", name_for(1));

    const auto write = [&](const std::string& text) {
        AtomicFile file(name_for(0));
        if (file.Stream() == nullptr) return fs::path();
        std::fputs(text.c_str(), file.Stream());
        return file.CommitNew(name_for);
    };
    EXPECT_EQ(write("third"), name_for(2));
    EXPECT_EQ(ReadFileBytes(name_for(0)), "earlier");
    EXPECT_FALSE(fs::exists(elsewhere.path() / "made.jpg"));

    // Names, not flushes, are at stake here.
    SetDiskFlushes(false);
    std::vector<fs::path> left, right;
    std::thread other([&] {
        for (int i = 0; i < 100; ++i) left.push_back(write("left " + std::to_string(i)));
    });
    for (int i = 0; i < 100; ++i) right.push_back(write("right " + std::to_string(i)));
    other.join();
    SetDiskFlushes(true);
    std::set<fs::path> used;
    for (std::size_t i = 0; i < 100; ++i) {
        ASSERT_FALSE(left[i].empty());
        ASSERT_FALSE(right[i].empty());
        EXPECT_EQ(ReadFileBytes(left[i]), "left " + std::to_string(i));
        EXPECT_EQ(ReadFileBytes(right[i]), "right " + std::to_string(i));
        used.insert(left[i]);
        used.insert(right[i]);
    }
    EXPECT_EQ(used.size(), 200u);

    // Every name taken: nothing is written and no temporary file stays.
    for (int n = 203; n <= 300; ++n) WriteFileBytes(name_for(n), "x");
    const std::size_t before = Entries(dir.path()).size();
    EXPECT_TRUE(write("no room").empty());
    EXPECT_EQ(Entries(dir.path()).size(), before);
}

// A power cut right after a write must find the new file: its data is on the
// disk before the rename makes it visible, and the folder entry after it.
TEST(WriteFileAtomically, FlushesTheFileBeforeTheRenameAndTheFolderAfter) {
    TempDir dir;
    const std::string folder = fs::canonical(dir.path()).string();
    const std::string path = folder + "/20240315093005.jpg";
    // The temporary file's name is drawn anew for every write.
    const auto expect_flushed = [&](const std::vector<std::string>& events) {
        ASSERT_EQ(events.size(), 3u);
        ASSERT_TRUE(events[0].starts_with("fsync " + folder + "/"));
        const std::string temp = events[0].substr(6);
        EXPECT_TRUE(IsTemporaryNameFor(fs::path(temp).filename().string(), "20240315093005.jpg"));
        EXPECT_EQ(events[1], "rename " + temp + " " + path);
        EXPECT_EQ(events[2], "fsync " + folder);
    };
    {
        RecordedCalls calls;
        ASSERT_TRUE(WriteFileAtomically(path, std::string(50000, 'x')));
        expect_flushed(calls.Take());

        AtomicFile file(path);
        ASSERT_NE(file.Stream(), nullptr);
        std::fputs("stream", file.Stream());
        ASSERT_TRUE(file.Commit());
        expect_flushed(calls.Take());

        // Measurements switch the flushes off; the rename stays.
        SetDiskFlushes(false);
        ASSERT_TRUE(WriteFileAtomically(path, "unflushed"));
        SetDiskFlushes(true);
        const auto unflushed = calls.Take();
        ASSERT_EQ(unflushed.size(), 1u);
        EXPECT_TRUE(unflushed[0].starts_with("rename ")) << unflushed[0];
    }
    EXPECT_EQ(ReadFileBytes(path), "unflushed");
}

}  // namespace

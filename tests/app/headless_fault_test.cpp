// The real program under faults from outside: a full disk, pages that cannot
// be written, the save folder deleted while it runs, cameras that stall or
// fail.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <thread>

#include "app/headless_fixture.h"
#include "support/jpeg_decode.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::IsEmpty;

// Runs `/bin/sh -c script` with `env` added; returns the exit status.
int RunShell(const std::string& script, const std::vector<std::string>& env) {
    std::vector<std::string> entries;
    for (char** e = environ; *e != nullptr; ++e) entries.emplace_back(*e);
    entries.insert(entries.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (std::string& entry : entries) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string sh = "/bin/sh", c = "-c", body = script;
    char* argv[] = {sh.data(), c.data(), body.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, sh.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The shim itself, on programs that write through write(2) (the shell's
// redirection, a descriptor copied by dup2) and through stdio (tee's fopen),
// before the program relies on it.
TEST(FullDiskShim, WritesUnderThePrefixObeyTheControlFile) {
    TempDir dir;
    const fs::path full = dir.path() / "full";
    const fs::path other = dir.path() / "other";
    fs::create_directory(full);
    fs::create_directory(other);
    const fs::path control = dir.path() / "control";
    const std::vector<std::string> env = {"LD_PRELOAD=" + FullDiskShimLibrary(),
                                          "QUILLOMAT_FULL_DISK_PREFIX=" + full.string() + "/",
                                          "QUILLOMAT_FULL_DISK_CONTROL=" + control.string()};
    const std::string shell_write = "printf 'hello world\\n' > ";
    const std::string stdio_write = "printf 'a\\nb\\n' | tee >/dev/null ";

    WriteFileBytes(control, "full\n");
    EXPECT_NE(RunShell(shell_write + (full / "a").string(), env), 0);
    EXPECT_EQ(ReadFileBytes(full / "a"), "");
    EXPECT_NE(RunShell(stdio_write + (full / "b").string(), env), 0);
    EXPECT_EQ(ReadFileBytes(full / "b"), "");
    // Other folders are not affected.
    EXPECT_EQ(RunShell(shell_write + (other / "a").string(), env), 0);
    EXPECT_EQ(ReadFileBytes(other / "a"), "hello world\n");
    EXPECT_EQ(RunShell(stdio_write + (other / "b").string(), env), 0);
    EXPECT_EQ(ReadFileBytes(other / "b"), "a\nb\n");

    // A budget: the write that crosses it is cut short.
    WriteFileBytes(control, "5");
    EXPECT_NE(RunShell(shell_write + (full / "c").string(), env), 0);
    EXPECT_EQ(ReadFileBytes(full / "c"), "hello");

    WriteFileBytes(control, "free");
    EXPECT_EQ(RunShell(shell_write + (full / "d").string(), env), 0);
    EXPECT_EQ(ReadFileBytes(full / "d"), "hello world\n");
    EXPECT_EQ(RunShell(stdio_write + (full / "e").string(), env), 0);
    EXPECT_EQ(ReadFileBytes(full / "e"), "a\nb\n");

    // A match narrows the watched files.
    WriteFileBytes(control, "full");
    std::vector<std::string> pages_only = env;
    pages_only.push_back("QUILLOMAT_FULL_DISK_MATCH=.html");
    EXPECT_EQ(RunShell(shell_write + (full / "f.txt").string(), pages_only), 0);
    EXPECT_NE(RunShell(shell_write + (full / "f.html").string(), pages_only), 0);
    EXPECT_NE(RunShell(shell_write + (full / "f.html.tmp").string(), pages_only), 0);

    // A small file system: its files may take its size, and statfs says what
    // they leave (in 4096-byte blocks).
    fs::remove_all(full);
    fs::create_directory(full);
    WriteFileBytes(control, "size 8200");
    const std::string space =
        "stat -f -c '%b %a' " + full.string() + "/ > " + (dir.path() / "space").string();
    EXPECT_EQ(RunShell(shell_write + (full / "g").string(), env), 0);
    EXPECT_NE(RunShell("printf '%8192s' '' > " + (full / "h").string(), env), 0);
    EXPECT_EQ(fs::file_size(full / "h"), 8188u);
    EXPECT_EQ(RunShell(space, env), 0);
    EXPECT_EQ(ReadFileBytes(dir.path() / "space"), "2 0\n");
    fs::remove(full / "h");
    EXPECT_EQ(RunShell(space, env), 0);
    EXPECT_EQ(ReadFileBytes(dir.path() / "space"), "2 1\n");
    EXPECT_EQ(RunShell(shell_write + (other / "g").string(), env), 0);
}

class HeadlessDiskTest : public HeadlessDiaryTest {
protected:
    fs::path Control() const { return home_.path() / "disk-control"; }
    void SetDisk(const std::string& state) { WriteFileBytes(Control(), state + "\n"); }
    std::vector<std::string> ShimEnvironment(const std::string& match = "") const {
        std::vector<std::string> env = {"LD_PRELOAD=" + FullDiskShimLibrary(),
                                        "QUILLOMAT_FULL_DISK_PREFIX=" + DiaryFolder(),
                                        "QUILLOMAT_FULL_DISK_CONTROL=" + Control().string()};
        if (!match.empty()) env.push_back("QUILLOMAT_FULL_DISK_MATCH=" + match);
        return env;
    }
};

// The disk fills up in the middle of a picture (a budget smaller than one
// picture), stays full, then space comes back.
TEST_F(HeadlessDiskTest, FullDiskLosesOnlyTheNewPicturesAndStoringResumes) {
    WriteSetup(1, false);
    WriteDevice("Cam", 320, 240);
    SetDisk("free");
    Start("Cam", ShimEnvironment());
    ASSERT_TRUE(WaitForListed(2)) << Transcript();
    const std::set<std::string> listed_before = ListedPictures(DayPage(), diary_);
    const std::set<std::string> stored_before = PictureNames(diary_);

    SetDisk("1000");  // a picture here is about 4 KB
    ASSERT_TRUE(process_.WaitForLogLine(kPictureFailedLine, 2, kConditionLimit)) << Transcript();
    const std::size_t stored_when_full = PictureCount();
    ASSERT_TRUE(process_.WaitForLogLine(kPictureFailedLine, 3, kConditionLimit)) << Transcript();
    EXPECT_TRUE(process_.Running());
    EXPECT_EQ(PictureCount(), stored_when_full) << "a picture was stored on a full disk";
    // Nothing half-written is left or listed; the pages written before are
    // whole and still list the earlier pictures.
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
    EXPECT_THAT(FilesEndingIn(diary_, ".tmp"), IsEmpty());
    const std::set<std::string> listed_when_full = ListedPictures(DayPage(), diary_);
    for (const std::string& name : listed_before)
        EXPECT_TRUE(listed_when_full.contains(name)) << name;
    for (const std::string& name : stored_before)
        EXPECT_TRUE(PictureNames(diary_).contains(name)) << name;
    EXPECT_FALSE(ListedPictures(IndexPage(), diary_).empty());

    SetDisk("free");
    const std::set<std::string> before_space = PictureNames(diary_);
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (const std::string& name : ListedPictures(DayPage(), diary_)) {
                if (!before_space.contains(name)) return true;
            }
            return !process_.Running();
        },
        kConditionLimit));
    StopAndExpectCleanExit();
    EXPECT_GT(PictureCount(), before_space.size());
    EXPECT_EQ(ListedPictures(DayPage(), diary_), PictureNames(diary_));
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
    EXPECT_THAT(FilesEndingIn(diary_, ".tmp"), IsEmpty());
}

// The same on a real file system that fills up: a small tmpfs as the save
// folder, where only root may mount one (skipped elsewhere).
TEST_F(HeadlessDiaryTest, FullTmpfsLosesOnlyTheNewPicturesAndStoringResumes) {
    if (::mount("tmpfs", diary_.c_str(), "tmpfs", 0, "size=256k,mode=0755") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{diary_.string()};

    WriteSetup(1, false);
    WriteDevice("Cam", 320, 240);
    Start("Cam");
    ASSERT_TRUE(WaitForListed(2)) << Transcript();
    const std::set<std::string> listed_before = ListedPictures(DayPage(), diary_);

    // Fill every byte that is left.
    const fs::path filler = diary_ / "filler";
    {
        const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const std::string block(4096, 'x');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        while (::write(fd, block.data(), 1) > 0) {
        }
        ::close(fd);
    }
    const int failures = process_.CountLogLines(kPictureFailedLine);
    ASSERT_TRUE(process_.WaitForLogLine(kPictureFailedLine, failures + 2, kConditionLimit))
        << Transcript();
    EXPECT_TRUE(process_.Running());
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
    EXPECT_THAT(FilesEndingIn(diary_, ".tmp"), IsEmpty());
    const std::set<std::string> listed = ListedPictures(DayPage(), diary_);
    for (const std::string& name : listed_before) EXPECT_TRUE(listed.contains(name)) << name;

    fs::remove(filler);
    const std::size_t before_space = PictureCount();
    ASSERT_TRUE(WaitForListed(before_space + 1)) << Transcript();
    StopAndExpectCleanExit();
    EXPECT_EQ(ListedPictures(DayPage(), diary_), PictureNames(diary_));
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
}

// Only the pages cannot be written (files with ".html" in their names):
// pictures go on, each store reports the page, the old page stays as it was,
// and the next page written lists every picture.
TEST_F(HeadlessDiskTest, PageWriteFailureKeepsTheOldPageAndStoresGoOn) {
    WriteSetup(1, false);
    WriteDevice("Cam", 320, 240);
    SetDisk("free");
    Start("Cam", ShimEnvironment(".html"));
    ASSERT_TRUE(WaitForListed(2)) << Transcript();
    const std::set<std::string> listed_before = ListedPictures(DayPage(), diary_);

    SetDisk("full");
    ASSERT_TRUE(process_.WaitForLogLine(kPageFailedLine, 2, kConditionLimit)) << Transcript();
    // The pages from before the failures are still there, whole.
    const std::set<std::string> listed = ListedPictures(DayPage(), diary_);
    for (const std::string& name : listed_before) EXPECT_TRUE(listed.contains(name)) << name;
    EXPECT_FALSE(ListedPictures(IndexPage(), diary_).empty());
    const std::string day_page = ReadFileBytes(DayPage());
    const std::string index_page = ReadFileBytes(IndexPage());
    const std::size_t stored = PictureCount();
    ASSERT_TRUE(WaitForPictures(stored + 2)) << Transcript();
    ASSERT_TRUE(process_.WaitForLogLine(kPageFailedLine, 4, kConditionLimit)) << Transcript();
    EXPECT_EQ(ReadFileBytes(DayPage()), day_page);
    EXPECT_EQ(ReadFileBytes(IndexPage()), index_page);
    EXPECT_THAT(FilesEndingIn(diary_, ".tmp"), IsEmpty());
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
    EXPECT_EQ(process_.CountLogLines(kPictureFailedLine), 0);

    SetDisk("free");
    const std::size_t all = PictureCount();
    ASSERT_TRUE(WaitForListed(all + 1)) << Transcript();
    StopAndExpectCleanExit();
    EXPECT_EQ(ListedPictures(DayPage(), diary_), PictureNames(diary_));
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
}

// The whole save folder removed while the program runs, later made again.
TEST_F(HeadlessDiaryTest, DeletedSaveFolderIsReportedAndStoringResumesWhenItIsBack) {
    WriteSetup(1, false);
    WriteDevice("Cam", 320, 240);
    Start("Cam");
    ASSERT_TRUE(WaitForListed(1)) << Transcript();
    // Moved away in one step: a remove_all races with the store writing
    // into the folder it is emptying.
    const fs::path gone = diary_.parent_path() / "diary-removed";
    fs::rename(diary_, gone);
    std::error_code ignored;
    fs::remove_all(gone, ignored);

    ASSERT_TRUE(process_.WaitForLogLine(kPictureFailedLine, 2, kConditionLimit)) << Transcript();
    const std::vector<std::string> log = LogTexts(process_.Output());
    const auto first = std::find(log.begin(), log.end(), kDayFolderFailedLine);
    ASSERT_NE(first, log.end()) << Transcript();
    ASSERT_NE(first + 1, log.end());
    EXPECT_EQ(*(first + 1), kPictureFailedLine);
    EXPECT_TRUE(process_.Running());
    EXPECT_FALSE(fs::exists(diary_)) << "the program must not make the save folder itself";

    fs::create_directory(diary_);
    ASSERT_TRUE(WaitForListed(2)) << Transcript();
    StopAndExpectCleanExit();
    // The day page starts again from what is there.
    EXPECT_EQ(ListedPictures(DayPage(), diary_), PictureNames(diary_));
    for (const fs::path& page : FilesEndingIn(diary_, ".html")) {
        EXPECT_TRUE(ReadFileBytes(page).ends_with("</body></html>\r\n")) << page;
    }
    for (const std::string& name : PictureNames(diary_))
        EXPECT_TRUE(DecodeJpegFile((diary_ / name).string()));
}

// --- cameras that stall or fail ---

// How many times the capture graph was built (the title line of each build).
int GraphBuilds(const DiaryProcess& process) {
    const std::string errors = process.Errors();
    int n = 0;
    for (std::size_t p = errors.find("Quillomat - Cam ("); p != std::string::npos;
         p = errors.find("Quillomat - Cam (", p + 1))
        ++n;
    return n;
}

class HeadlessCameraTest : public HeadlessDiaryTest {};

// Frames stop after 2 (a fifteenth of a second) from each start of the
// graph, well within the worker's size query and the store's run wait at a
// tenth of the designed delays. The worker's own start leaves the graph
// running, so the first store finds it stalled; the store's recovery rebuilds the graph, which
// brings frames back, and pictures are stored from then on.
TEST_F(HeadlessCameraTest, StalledFramesAreRecoveredByARebuild) {
    WriteSetup(2, false);
    WriteDevice("Cam", 320, 240);
    Start("Cam:stop=2");
    ASSERT_TRUE(WaitForPictures(3)) << Transcript();
    EXPECT_GE(GraphBuilds(process_), 2) << "no recovery rebuild\n" << Transcript();
    EXPECT_TRUE(process_.Running());
    StopAndExpectCleanExit();
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
    EXPECT_EQ(ListedPictures(DayPage(), diary_), PictureNames(diary_));
}

// A camera that never delivers a frame: each store gives up after its
// recoveries and says so; no picture is made of nothing. The stop then comes
// in the middle of the next store's recoveries, which rebuild the graph on
// the worker thread while the signal releases it.
TEST_F(HeadlessCameraTest, CameraThatNeverStartsReportsFailedStores) {
    WriteSetup(2, false);
    WriteDevice("Cam", 320, 240);
    Start("Cam:fail");
    ASSERT_TRUE(process_.WaitForLogLine(kPictureFailedLine, 1, kConditionLimit)) << Transcript();
    const int builds = GraphBuilds(process_);
    EXPECT_GE(builds, 2) << Transcript();
    EXPECT_TRUE(process_.Running());
    EXPECT_TRUE(PictureNames(diary_).empty());

    // One recovery of the next store done; at a tenth of the designed delays
    // the next one starts 100 ms later and waits 100 ms before it rebuilds.
    ASSERT_TRUE(WaitUntil([&] { return GraphBuilds(process_) > builds || !process_.Running(); },
                          kConditionLimit));
    std::this_thread::sleep_for(150ms);
    StopAndExpectCleanExit();
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
}

// A camera pulled out after 7 frames of each start: the stream error stops
// the frames, the store's recovery rebuilds and pictures go on. The delays at
// a third keep the frames' share of a run wait as at the designed delays.
TEST_F(HeadlessCameraTest, CameraThatFailsMidStreamIsRebuiltAndStoringGoesOn) {
    WriteSetup(2, false);
    WriteDevice("Cam", 320, 240);
    Start("Cam:fail=7", {"QUILLOMAT_TEST_DELAYS=3"});
    ASSERT_TRUE(WaitForPictures(3)) << Transcript();
    EXPECT_GE(GraphBuilds(process_), 2) << Transcript();
    EXPECT_TRUE(process_.Running());
    StopAndExpectCleanExit();
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
    EXPECT_EQ(ListedPictures(DayPage(), diary_), PictureNames(diary_));
}

}  // namespace

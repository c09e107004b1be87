// Commands on events, end to end: the real program runs the commands of
// [EVENTS] without a shell, gives them the facts, ends one that hangs and
// says once that one cannot be started, and records on meanwhile.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/headless_fixture.h"

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;

// Lines of the program's log whose text contains `part`.
int CountLogLinesWith(const DiaryProcess& process, const std::string& part) {
    int count = 0;
    for (const std::string& text : LogTexts(process.Output()))
        count += text.find(part) != std::string::npos ? 1 : 0;
    return count;
}

std::vector<std::string> Lines(const fs::path& file) {
    std::vector<std::string> lines;
    std::istringstream in(ReadFileBytes(file));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Running, not a zombie waiting to be reaped.
bool Alive(pid_t pid) {
    if (pid <= 0 || kill(pid, 0) != 0) return false;
    const std::string stat = ReadFileBytes("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t end = stat.rfind(')');
    return end != std::string::npos && end + 2 < stat.size() && stat[end + 2] != 'Z';
}

class HeadlessCommandsTest : public HeadlessDiaryTest {
protected:
    // setup.ini with an interval of 1 s, no time text, the save folder and
    // the [EVENTS] lines.
    void WriteSetupWith(const fs::path& save, const std::vector<std::string>& events) {
        std::vector<std::string> lines = {
            "[DIARY]",           "SAVE_DIRECTORY=" + save.string() + "/",
            "INTERVAL_HOUR=0",   "INTERVAL_MINUTE=0",
            "INTERVAL_SECOND=1", "MOTION_DETECT=off",
            "[TIMETEXT]",        "SHOW_TEXT=off",
            "[EVENTS]"};
        lines.insert(lines.end(), events.begin(), events.end());
        WriteIniFile(home_.path() / "setup.ini", lines);
        WriteDevice("Cam", 320, 240);
    }
    std::string Quoted(const fs::path& path) const { return "'" + path.string() + "'"; }
};

// A save folder whose name holds spaces, quotes, ";", "$(...)" and a
// backquote, and a command whose words do too: the command gets every word
// and the picture's path exactly, and nothing is ever run by them.
TEST_F(HeadlessCommandsTest, ShellCharactersInPathsAndWordsAreNeverInterpreted) {
    const fs::path save = home_.path() / "my diary it's \"q\"; $(touch pwned) `touch pwned`";
    fs::create_directory(save);
    const fs::path record = home_.path() / "record";
    WriteSetupWith(save, {"ON_PICTURE=sh -c 'printf \"%s\\n\" \"$QUILLOMAT_EVENT\" "
                          "\"$QUILLOMAT_PICTURE\" \"$QUILLOMAT_TIME\" \"$QUILLOMAT_TRIGGER\" "
                          "\"$QUILLOMAT_CAMERA\" \"$1\" \"$2\" >> \"$3\"' sh 'a;b c' "
                          "'$(touch pwned)' " +
                          Quoted(record)});
    Start("Cam");
    ASSERT_TRUE(WaitUntil([&] { return Lines(record).size() >= 14 || !process_.Running(); },
                          kConditionLimit))
        << Transcript();
    StopAndExpectCleanExit();
    const std::vector<std::string> lines = Lines(record);
    const std::set<std::string> pictures = PictureNames(save);
    ASSERT_FALSE(pictures.empty());
    const std::string first = *pictures.begin();
    EXPECT_EQ(lines[0], "picture");
    EXPECT_EQ(lines[1], (save / first).string());
    EXPECT_THAT(lines[2], MatchesRegex("20[0-9][0-9]-[01][0-9]-[0-3][0-9]T[0-2][0-9]:[0-5][0-9]:"
                                       "[0-6][0-9][+-][0-9][0-9]:[0-9][0-9]"));
    EXPECT_EQ(lines[2].substr(0, 4) + lines[2].substr(5, 2) + lines[2].substr(8, 2) + "/" +
                  lines[2].substr(0, 4) + lines[2].substr(5, 2) + lines[2].substr(8, 2) +
                  lines[2].substr(11, 2) + lines[2].substr(14, 2) + lines[2].substr(17, 2) + ".jpg",
              first)
        << "the capture time, as the picture is named";
    EXPECT_THAT(std::vector<std::string>(lines.begin() + 3, lines.begin() + 7),
                ElementsAre("interval", "Cam", "a;b c", "$(touch pwned)"));
    for (const fs::path& where : {home_.path(), save, fs::current_path()})
        EXPECT_FALSE(fs::exists(where / "pwned")) << where;
    EXPECT_EQ(CountLogLinesWith(process_, "ON_PICTURE"), 0) << Transcript();
}

// A command that hangs (and ignores SIGTERM) is ended at its time limit with
// everything it started; the diary stores on meanwhile, the pictures that
// came while it ran are counted, and the next picture runs it again. The
// program still ends within 2 s of SIGTERM with a command running, and takes
// the command with it.
TEST_F(HeadlessCommandsTest, HangingCommandIsEndedAtItsLimitWhileTheDiaryGoesOn) {
    const fs::path pids = home_.path() / "pids";
    WriteSetupWith(diary_,
                   {"ON_PICTURE=sh -c 'trap \"\" TERM; echo $$ >> \"$1\"; while :; do sleep 0.05; "
                    "done' sh " +
                        Quoted(pids),
                    "COMMAND_TIMEOUT_SECOND=4"});
    Start("Cam");
    ASSERT_TRUE(
        WaitUntil([&] { return !Lines(pids).empty() || !process_.Running(); }, kConditionLimit))
        << Transcript();
    const std::size_t at_start = PictureCount();
    const std::string ended = "ON_PICTURE のコマンドが 4 秒で終わらないため終了させました";
    ASSERT_TRUE(process_.WaitForLogLine(ended, 1, kConditionLimit)) << Transcript();
    EXPECT_GE(PictureCount(), at_start + 2) << "stores waited for the command";
    const pid_t first = std::stoi(Lines(pids)[0]);
    EXPECT_TRUE(WaitUntil([&] { return !Alive(first); }, kConditionLimit));
    EXPECT_EQ(CountLogLinesWith(process_, "ON_PICTURE のコマンドの実行中に来たイベント "), 1)
        << Transcript();

    ASSERT_TRUE(
        WaitUntil([&] { return Lines(pids).size() >= 2 || !process_.Running(); }, kConditionLimit))
        << Transcript();
    const pid_t second = std::stoi(Lines(pids)[1]);
    EXPECT_TRUE(Alive(second));
    StopAndExpectCleanExit();
    EXPECT_TRUE(WaitUntil([&] { return !Alive(second); }, kConditionLimit));
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
}

// A command that does not exist is said once, with its path, not at every
// picture; the pictures are stored as ever.
TEST_F(HeadlessCommandsTest, MissingCommandIsSaidOnceNotAtEveryPicture) {
    WriteSetupWith(diary_,
                   {"ON_PICTURE=" + (home_.path() / "no such notifier").string() + " --picture"});
    Start("Cam");
    ASSERT_TRUE(WaitForPictures(4)) << Transcript();
    StopAndExpectCleanExit();
    // Said with the command's path and why.
    EXPECT_EQ(CountLogLinesWith(process_, "ON_PICTURE のコマンドを実行できません: " +
                                              (home_.path() / "no").string() +
                                              ": No such file or directory"),
              1)
        << Transcript();
    EXPECT_EQ(process_.CountLogLines(kPictureFailedLine), 0);
}

// The descriptors of a running process: the names in /proc/<pid>/fd.
std::set<std::string> Descriptors(pid_t pid) {
    std::set<std::string> names;
    std::error_code ec;
    for (const fs::directory_entry& e :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec))
        names.insert(e.path().filename().string());
    return names;
}

// A command ends with everything it started: what it leaves running when it
// exits is ended then, and a command still running when the program is
// killed (SIGKILL) ends with it. It gets none of the program's descriptors.
TEST_F(HeadlessCommandsTest, ACommandEndsWithAllItStartedAndGetsNoDescriptorOfTheProgram) {
    const fs::path pids = home_.path() / "pids";
    const fs::path fds = home_.path() / "fds";
    WriteSetupWith(diary_, {"ON_PICTURE=sh -c 'ls /proc/$$/fd > \"$2\"; sleep 300 & echo $! >> "
                            "\"$1\"; exit 0' sh " +
                            Quoted(pids) + " " + Quoted(fds)});
    Start("Cam");
    ASSERT_TRUE(
        WaitUntil([&] { return Lines(pids).size() >= 3 || !process_.Running(); }, kConditionLimit))
        << Transcript();
    for (const std::string& line : Lines(pids)) {
        const pid_t orphan = std::stoi(line);
        EXPECT_TRUE(WaitUntil([&] { return !Alive(orphan); }, kConditionLimit))
            << "the sleep " << orphan << " its command left";
    }
    StopAndExpectCleanExit();

    const fs::path running = home_.path() / "running";
    WriteSetupWith(diary_,
                   {"ON_PICTURE=sh -c 'echo $$ >> \"$1\"; exec sleep 300' sh " + Quoted(running),
                    "COMMAND_TIMEOUT_SECOND=600"});
    Start("Cam");
    ASSERT_TRUE(
        WaitUntil([&] { return !Lines(running).empty() || !process_.Running(); }, kConditionLimit))
        << Transcript();
    const pid_t command = std::stoi(Lines(running)[0]);
    ASSERT_TRUE(Alive(command));
    EXPECT_EQ(Descriptors(command), (std::set<std::string>{"0", "1", "2"}));
    process_.Kill();
    EXPECT_TRUE(WaitUntil([&] { return !Alive(command); }, kConditionLimit))
        << "the command outlived the killed program";
}

}  // namespace

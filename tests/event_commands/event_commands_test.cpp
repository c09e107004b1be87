#include "event_commands/event_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "event_commands/event_commands_settings.h"
#include "platform/stop_signal.h"
#include "settings/shared_settings.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Polls `condition` every 10 ms for at most `limit`.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 20s) {
    const auto give_up = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// Running, not only a zombie waiting for its parent (or for an init that
// does not reap).
bool Alive(pid_t pid) {
    if (pid <= 0 || kill(pid, 0) != 0) return false;
    const std::string stat = ReadFileBytes("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t end = stat.rfind(')');
    return end != std::string::npos && end + 2 < stat.size() && stat[end + 2] != 'Z';
}

TEST(SplitCommandLine, WordsAsAPosixShellSplitsThemWithNothingExpanded) {
    EXPECT_THAT(
        SplitCommandLine(R"(notify 'a b' "say \"hi\"" c\ d $(rm -rf x) ; $HOME # note)").words,
        ElementsAre("notify", "a b", "say \"hi\"", "c d", "$(rm", "-rf", "x)", ";", "$HOME"));
    EXPECT_THAT(SplitCommandLine("sh -c 'echo \"$1\"' sh x").words,
                ElementsAre("sh", "-c", "echo \"$1\"", "sh", "x"));
    EXPECT_FALSE(SplitCommandLine("say 'unfinished").error.empty());
    EXPECT_FALSE(SplitCommandLine("   ").error.empty());
    EXPECT_THAT(SplitCommandLine("say 'unfinished").words, IsEmpty());
}

TEST(CommandEnvironment, IsoTimeWithOffsetAndThePicturesFactsOnlyForAPicture) {
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 9;
    t.tm_min = 3;
    t.tm_sec = 7;
    t.tm_gmtoff = 9 * 3600;
    EXPECT_EQ(IsoLocalTime(t), "2024-03-05T09:03:07+09:00");
    t.tm_gmtoff = -(3 * 3600 + 30 * 60);
    EXPECT_EQ(IsoLocalTime(t), "2024-03-05T09:03:07-03:30");
    t.tm_gmtoff = 0;
    EXPECT_EQ(IsoLocalTime(t), "2024-03-05T09:03:07+00:00");

    CommandFacts picture{CommandEvent::kPicture, t, "Cam (2)", "diary/20240305/x.jpg", "motion"};
    const auto environment = CommandEnvironment(picture);
    using Pair = std::pair<std::string, std::string>;
    EXPECT_THAT(
        environment,
        ElementsAre(
            Pair{"QUILLOMAT_EVENT", "picture"}, Pair{"QUILLOMAT_TIME", "2024-03-05T09:03:07+00:00"},
            Pair{"QUILLOMAT_CAMERA", "Cam (2)"},
            Pair{"QUILLOMAT_PICTURE", (fs::current_path() / "diary/20240305/x.jpg").string()},
            Pair{"QUILLOMAT_TRIGGER", "motion"}, Pair{"QUILLOMAT_SKIPPED", "0"}));
    EXPECT_THAT(CommandEnvironment({CommandEvent::kCameraLost, t, "Cam", "", "", 12}),
                ElementsAre(Pair{"QUILLOMAT_EVENT", "camera-lost"},
                            Pair{"QUILLOMAT_TIME", "2024-03-05T09:03:07+00:00"},
                            Pair{"QUILLOMAT_CAMERA", "Cam"}, Pair{"QUILLOMAT_SKIPPED", "12"}));
}

// Run directly: its exit status and first error line come back; the service
// manager's variables stay the program's; the signals the program blocks are
// not blocked in the command; a command that does not exist does not start.
TEST(ChildProcess, RunsWithoutAShellAndReportsWhatItDid) {
    TempDir dir;
    ChildProcess failing;
    std::string error;
    ASSERT_TRUE(failing.Start({"sh", "-c", "echo first >&2; echo second >&2; exit 3"},
                              ProcessEnvironment({}), error))
        << error;
    ASSERT_TRUE(WaitFor([&] { return !failing.Poll(); }));
    EXPECT_TRUE(failing.outcome()->exited);
    EXPECT_EQ(failing.outcome()->exit_code, 3);
    EXPECT_EQ(failing.outcome()->first_error_line, "first");

    ::setenv("NOTIFY_SOCKET", "/run/not-for-commands", 1);
    ChildProcess environment;
    ASSERT_TRUE(environment.Start(
        {"sh", "-c", R"(test -z "$NOTIFY_SOCKET" && test "$QUILLOMAT_EVENT" = "a b;c")"},
        ProcessEnvironment({{"QUILLOMAT_EVENT", "a b;c"}}), error));
    ::unsetenv("NOTIFY_SOCKET");
    ASSERT_TRUE(WaitFor([&] { return !environment.Poll(); }));
    EXPECT_TRUE(environment.outcome()->Succeeded());

    // As the program's threads do.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGINT);
    sigset_t old;
    pthread_sigmask(SIG_BLOCK, &stop_signals, &old);
    ChildProcess sleeper;
    const bool started = sleeper.Start({"sleep", "60"}, ProcessEnvironment({}), error);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    ASSERT_TRUE(started) << error;
    sleeper.End(10s);
    ASSERT_TRUE(sleeper.outcome());
    EXPECT_FALSE(sleeper.outcome()->exited);
    EXPECT_EQ(sleeper.outcome()->signal, SIGTERM) << "SIGTERM was blocked in the command";

    ChildProcess missing;
    EXPECT_FALSE(missing.Start({(dir.path() / "no such command").string()}, {}, error));
    EXPECT_THAT(error, HasSubstr("No such file"));
    EXPECT_FALSE(missing.Running());
}

class EventCommandsTest : public ::testing::Test {
protected:
    void Set(std::string EventCommandsSettings::*field, std::string command) {
        settings.Update([&](DiarySettings& s) {
            s.Section<EventCommandsSettings>().*field = std::move(command);
        });
    }
    // Runs the job's wakes until no command runs any more.
    bool Settle(std::chrono::milliseconds limit = 30s) {
        return WaitFor(
            [&] {
                if (!job.NextWake()) return true;
                job.Wake(stop);
                return false;
            },
            limit);
    }
    PictureStored Picture() const {
        PictureStored picture;
        picture.path = (dir.path() / "20240305" / "20240305090307.jpg").string();
        picture.trigger = PictureTrigger::kInterval;
        return picture;
    }
    std::string Quoted(const fs::path& path) const { return "'" + path.string() + "'"; }
    // Runs the job's wakes until no command runs any more (a cooldown may
    // still be pending: the virtual clock does not move by itself).
    bool Quiet() {
        return WaitFor([&] {
            job.Wake(stop);
            const auto wake = job.NextWake();
            return !wake || *wake > EventCommands::kLookMs;
        });
    }

    TempDir dir;
    FakeClock clock;
    SharedSettings settings;
    StopSignal stop;
    std::vector<std::string> lines;
    DiaryEvents events;
    EventCommands job{
        {.settings = settings,
         .events = events,
         .publish = events,
         .clock = clock,
         .post_line = [this](const LogText& line) { lines.push_back(line.designed); }}};
};

// One command per event at a time: pictures that come while the picture
// command runs are counted and said when it ends, never run later; another
// event's command runs meanwhile. A failure says its status and first error
// line.
TEST_F(EventCommandsTest, OneCommandPerEventAtATimeTheRestCounted) {
    const fs::path release = dir.path() / "release";
    const fs::path runs = dir.path() / "runs";
    const fs::path failed = dir.path() / "failed";
    Set(&EventCommandsSettings::ON_PICTURE,
        "sh -c 'echo \"$QUILLOMAT_EVENT\" >> \"$1\"; while [ ! -e \"$2\" ]; do sleep 0.01; done' "
        "sh " +
            Quoted(runs) + " " + Quoted(release));
    Set(&EventCommandsSettings::ON_STORE_FAILED,
        "sh -c 'echo \"$QUILLOMAT_EVENT\" >> \"$1\"; echo boom >&2; exit 3' sh " + Quoted(failed));
    for (int i = 0; i < 4; ++i) job.Handle(Picture(), stop);
    job.Handle(StoreFailed{257}, stop);
    ASSERT_TRUE(WaitFor([&] {
        job.Wake(stop);
        return !lines.empty();
    }));
    EXPECT_THAT(lines,
                ElementsAre("ON_STORE_FAILED のコマンドが失敗しました (終了コード 3): boom"));
    EXPECT_TRUE(job.NextWake()) << "the picture command still runs";
    WriteFileBytes(release, "");
    ASSERT_TRUE(Settle());
    EXPECT_EQ(ReadFileBytes(runs), "picture\n");
    EXPECT_EQ(ReadFileBytes(failed), "store-failed\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1],
              "ON_PICTURE のコマンドの実行中に来たイベント 3 件では、コマンドを実行しませんでした");

    // Afterwards the next picture runs it again.
    job.Handle(Picture(), stop);
    ASSERT_TRUE(Settle());
    EXPECT_EQ(ReadFileBytes(runs), "picture\npicture\n");
    EXPECT_EQ(lines.size(), 2u);
}

// With COOLDOWN_SECOND an event's command starts at most that often, counted
// from its last start on the job's clock; the events in between are passed
// over without a line, and the next run gets how many were passed over, while
// the command ran or within the cooldown, in QUILLOMAT_SKIPPED. Each kind of
// event has its own. The job wakes at a cooldown's end and then forgets it.
TEST_F(EventCommandsTest, CooldownPassesOverEventsAndTheNextRunCountsThem) {
    const fs::path release = dir.path() / "release";
    const fs::path runs = dir.path() / "runs";
    const fs::path failed = dir.path() / "failed";
    settings.Update(
        [](DiarySettings& s) { s.Section<EventCommandsSettings>().COOLDOWN_SECOND = 5; });
    Set(&EventCommandsSettings::ON_PICTURE,
        "sh -c 'echo \"$QUILLOMAT_SKIPPED\" >> \"$1\"; while [ ! -e \"$2\" ]; do sleep 0.01; "
        "done' sh " +
            Quoted(runs) + " " + Quoted(release));
    Set(&EventCommandsSettings::ON_STORE_FAILED,
        "sh -c 'echo \"$QUILLOMAT_SKIPPED\" >> \"$1\"' sh " + Quoted(failed));

    // One picture a second. The first run lasts past its cooldown: the six
    // pictures meanwhile are said when it ends.
    job.Handle(Picture(), stop);
    for (int i = 0; i < 6; ++i) {
        clock.Advance(1000);
        job.Handle(Picture(), stop);
    }
    WriteFileBytes(release, "");
    ASSERT_TRUE(WaitFor([&] {
        job.Wake(stop);
        return !lines.empty();
    }));
    EXPECT_THAT(lines, ElementsAre("ON_PICTURE のコマンドの実行中に来たイベント 6 "
                                   "件では、コマンドを実行しませんでした"));
    clock.Advance(1000);  // 7 s
    job.Handle(Picture(), stop);
    ASSERT_TRUE(Quiet());
    EXPECT_EQ(job.NextWake(), 5000ms) << "the cooldown from the run at 7 s";

    // Within that cooldown: a failed store runs its own command at once, the
    // pictures up to a millisecond before its end are passed over silently.
    clock.Advance(1000);  // 8 s
    job.Handle(StoreFailed{257}, stop);
    job.Handle(Picture(), stop);
    for (int i = 0; i < 3; ++i) {
        clock.Advance(1000);
        job.Handle(Picture(), stop);
    }
    clock.Advance(999);  // 11.999 s
    job.Handle(Picture(), stop);
    clock.Advance(1);  // 12 s
    job.Handle(Picture(), stop);
    ASSERT_TRUE(Quiet());
    EXPECT_EQ(ReadFileBytes(runs), "0\n6\n5\n");
    EXPECT_EQ(ReadFileBytes(failed), "0\n");
    EXPECT_EQ(lines.size(), 1u) << "a cooldown's passing over is said nowhere";

    // The failed store's cooldown ends first, then the picture's; then there
    // is nothing to wake for.
    EXPECT_EQ(job.NextWake(), 1000ms);
    clock.Advance(1000);
    job.Wake(stop);
    EXPECT_EQ(job.NextWake(), 4000ms);
    clock.Advance(4000);
    job.Wake(stop);
    EXPECT_FALSE(job.NextWake());
    job.Handle(Picture(), stop);
    ASSERT_TRUE(Quiet());
    EXPECT_EQ(ReadFileBytes(runs), "0\n6\n5\n0\n");
}

// Past the time limit the command's whole group is ended, also what ignores
// SIGTERM; the line says so. A command that cannot start is said once a
// minute, not at every event; an empty setting runs nothing.
TEST_F(EventCommandsTest, TimeLimitEndsTheGroupAndAMissingCommandIsSaidOnce) {
    const fs::path pids = dir.path() / "pids";
    settings.Update(
        [](DiarySettings& s) { s.Section<EventCommandsSettings>().COMMAND_TIMEOUT_SECOND = 1; });
    Set(&EventCommandsSettings::ON_CAMERA_LOST,
        "sh -c 'trap \"\" TERM; sleep 60 & echo $$ $! > \"$1\"; while :; do sleep 0.05; done' sh " +
            Quoted(pids));
    job.Handle(CameraGone{"Cam", ""}, stop);
    ASSERT_TRUE(WaitFor([&] { return ReadFileBytes(pids).find(' ') != std::string::npos; }));
    pid_t shell = 0, child = 0;
    std::sscanf(ReadFileBytes(pids).c_str(), "%d %d", &shell, &child);
    ASSERT_TRUE(Alive(child));
    ASSERT_TRUE(Settle());
    EXPECT_THAT(lines,
                ElementsAre("ON_CAMERA_LOST のコマンドが 1 秒で終わらないため終了させました"));
    EXPECT_FALSE(Alive(shell));
    EXPECT_TRUE(WaitFor([&] { return !Alive(child); }, 5s)) << "the group's other process";

    lines.clear();
    Set(&EventCommandsSettings::ON_CAMERA_FOUND,
        (dir.path() / "no such command").string() + " --now");
    for (int i = 0; i < 3; ++i) job.Handle(CameraBack{"Cam"}, stop);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0], HasSubstr("ON_CAMERA_FOUND のコマンドを実行できません: " +
                                    (dir.path() / "no").string() + ": No such file"));
    Set(&EventCommandsSettings::ON_CAMERA_FOUND, "say 'unfinished");
    job.Handle(CameraBack{"Cam"}, stop);
    EXPECT_EQ(lines.size(), 1u) << "within the minute";
    job.Handle(Picture(), stop);
    EXPECT_FALSE(job.NextWake());
}

// At the program's end a command still running is ended at once.
TEST_F(EventCommandsTest, EndEndsARunningCommandPromptly) {
    const fs::path pid_file = dir.path() / "pid";
    Set(&EventCommandsSettings::ON_PICTURE,
        "sh -c 'echo $$ > \"$1\"; exec sleep 60' sh " + Quoted(pid_file));
    job.Handle(Picture(), stop);
    ASSERT_TRUE(WaitFor([&] { return !ReadFileBytes(pid_file).empty(); }));
    const pid_t pid = std::atoi(ReadFileBytes(pid_file).c_str());
    stop.Request();
    job.End(stop);
    EXPECT_FALSE(Alive(pid));
    EXPECT_FALSE(job.NextWake());
}

}  // namespace

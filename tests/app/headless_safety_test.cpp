// The real program end to end against what a careless or hostile user does:
// clocks that step, links planted in a shared web folder, two copies on one
// home, a settings file saved as UTF-8, paths that lead elsewhere, and a busy
// machine's priorities.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <thread>

#include "app/headless_fixture.h"
#include "platform/cp932.h"
#include "support/test_video.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::IsEmpty;

constexpr const char* kFakeTimeLibrary = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";

int CountOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The day page's picture links in page order.
std::vector<std::string> LinksInOrder(const fs::path& page) {
    const std::string text = ReadFileBytes(page);
    std::vector<std::string> names;
    const std::string start = "<a href=\"./";
    for (std::size_t at = text.find(start); at != std::string::npos;
         at = text.find(start, at + 1)) {
        const std::size_t begin = at + start.size();
        names.push_back(text.substr(begin, text.find('"', begin) - begin));
    }
    return names;
}

std::set<std::string> PicturesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with(".jpg")) names.insert(name);
    }
    return names;
}

// Every picture's file as first seen: a store that replaced one would give
// its name another file.
class PictureWatch {
public:
    explicit PictureWatch(fs::path root) : root_(std::move(root)) {}
    void Look() {
        for (const fs::path& path : FilesEndingIn(root_, ".jpg")) {
            struct stat st {};
            if (::stat(path.c_str(), &st) != 0) continue;
            const auto [seen, added] = inodes_.try_emplace(path.string(), st.st_ino);
            if (!added && seen->second != st.st_ino) replaced_.insert(path.string());
        }
    }
    std::set<std::string> Replaced() {
        Look();
        return replaced_;
    }
    // Pictures of `day` whose names are numbered repeats.
    int Repeats(const std::string& day) const {
        return static_cast<int>(std::count_if(inodes_.begin(), inodes_.end(), [&](const auto& e) {
            const std::string name = fs::path(e.first).filename().string();
            return name.starts_with(day) && name.find('_') != std::string::npos;
        }));
    }
    std::size_t Count() const { return inodes_.size(); }

private:
    fs::path root_;
    std::map<std::string, ino_t> inodes_;
    std::set<std::string> replaced_;
};

class HeadlessSafetyTest : public HeadlessDiaryTest {};

// The clock of the program steps (libfaketime; the monotonic clock stays
// real): across midnight back and forth, a minute forward and back again,
// and through the end of summer time in Europe/Berlin on 2026-10-25, whose
// hour from 02:00 comes twice. Each step lands on seconds that already named
// pictures. No picture is ever replaced, and every day page lists exactly
// the pictures of its folder, in the order of their names.
TEST_F(HeadlessSafetyTest, ClockStepsNeverReplaceAPictureAndEachDayPageListsItsOwnFolder) {
    if (!fs::exists(kFakeTimeLibrary)) GTEST_SKIP() << "libfaketime missing: scripts/install-deps";
    const fs::path clock_file = home_.path() / "faketime.rc";
    // The program's clock at a moment given in UTC, as an offset from the
    // real clock, which goes on running from there.
    const auto set_clock = [&](int day, int hour, int minute, int second) {
        std::tm t{};
        t.tm_year = 2026 - 1900;
        t.tm_mon = 9;
        t.tm_mday = day;
        t.tm_hour = hour;
        t.tm_min = minute;
        t.tm_sec = second;
        const long offset = static_cast<long>(timegm(&t) - std::time(nullptr));
        WriteFileBytes(clock_file, (offset < 0 ? "" : "+") + std::to_string(offset) + "\n");
    };
    PictureWatch watch(diary_);
    const auto wait_for = [&](const std::function<bool()>& condition) {
        return WaitUntil(
                   [&] {
                       watch.Look();
                       return condition() || !process_.Running();
                   },
                   kConditionLimit, 20ms) &&
               condition();
    };
    const fs::path saturday = diary_ / "20261024";
    const fs::path sunday = diary_ / "20261025";
    // Pictures whose names start with `prefix` (a day's folder by its name).
    const auto named = [&](const std::string& prefix) {
        const fs::path day = diary_ / prefix.substr(0, 8);
        std::size_t count = 0;
        if (fs::exists(day)) {
            for (const std::string& name : PicturesIn(day)) count += name.starts_with(prefix);
        }
        return count;
    };

    WriteSetup(1, false);
    WriteDevice("Cam", 320, 240);
    // Time for two pictures before midnight even when the start is slow.
    set_clock(24, 21, 59, 44);  // 23:59:44 CEST
    Start("Cam", {"LD_PRELOAD=" + std::string(kFakeTimeLibrary),
                  "FAKETIME_TIMESTAMP_FILE=" + clock_file.string(), "FAKETIME_NO_CACHE=1",
                  "FAKETIME_DONT_FAKE_MONOTONIC=1", "TZ=Europe/Berlin"});

    // Over midnight, then back into Saturday's folder to its last named
    // second but one, and over midnight again into Sunday's.
    ASSERT_TRUE(wait_for([&] { return named("20261024") >= 2 && named("20261025") >= 2; }))
        << Transcript();
    const std::string last = *PicturesIn(saturday).rbegin();
    const int saturday_repeats = watch.Repeats("20261024");
    const int sunday_repeats = watch.Repeats("20261025");
    set_clock(24, std::stoi(last.substr(8, 2)) - 2, std::stoi(last.substr(10, 2)),
              std::stoi(last.substr(12, 2)) - 1);
    ASSERT_TRUE(wait_for([&] { return watch.Repeats("20261024") > saturday_repeats; }))
        << Transcript();
    ASSERT_TRUE(wait_for([&] { return watch.Repeats("20261025") > sunday_repeats; }))
        << Transcript();

    // 00:05 CEST for three pictures, a minute on for two, then back.
    set_clock(24, 22, 5, 0);
    ASSERT_TRUE(wait_for([&] { return named("2026102500050") >= 3; })) << Transcript();
    set_clock(24, 22, 6, 0);
    ASSERT_TRUE(wait_for([&] { return named("2026102500060") >= 2; })) << Transcript();
    int repeats = watch.Repeats("2026102500050");
    set_clock(24, 22, 5, 0);
    ASSERT_TRUE(wait_for([&] { return watch.Repeats("2026102500050") >= repeats + 2; }))
        << Transcript();

    // 02:00 CEST for three pictures, then from 02:59:58 CEST into the hour
    // that comes again as 02:00 CET.
    set_clock(25, 0, 0, 0);
    ASSERT_TRUE(wait_for([&] { return named("2026102502000") >= 3; })) << Transcript();
    repeats = watch.Repeats("2026102502000");
    set_clock(25, 0, 59, 58);
    ASSERT_TRUE(wait_for([&] { return watch.Repeats("2026102502000") >= repeats + 2; }))
        << Transcript();
    StopAndExpectCleanExit();

    EXPECT_THAT(watch.Replaced(), IsEmpty());
    for (const fs::path& day : {saturday, sunday}) {
        SCOPED_TRACE(day.string());
        const std::vector<std::string> listed = LinksInOrder(day / "preview.html");
        const std::set<std::string> pictures = PicturesIn(day);
        EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), pictures);
        EXPECT_EQ(listed.size(), pictures.size()) << "a picture listed twice";
        EXPECT_TRUE(std::is_sorted(listed.rbegin(), listed.rend())) << "newest name first";
    }
    EXPECT_EQ(process_.CountLogLines(kPictureFailedLine), 0) << Transcript();
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
}

// Whoever may write into a shared web folder plants links at the names where
// temporary files used to go, and a day folder that leads out of the diary.
// Nothing is written through them, nothing they point to changes, and the
// links themselves stay (they are not the program's to remove).
TEST_F(HeadlessSafetyTest, PlantedLinksAreNeitherFollowedNorTrusted) {
    TempDir outside;
    const auto target = [&](const std::string& name) {
        const fs::path path = outside.path() / name;
        WriteFileBytes(path, "the user's own " + name);
        return path;
    };
    fs::create_directories(DayFolder());
    std::vector<std::pair<fs::path, fs::path>> links = {
        {diary_ / "preview.html.tmp", target("index")},
        {DayFolder() / "preview.html.tmp", target("day")},
        {home_.path() / "setup.ini.tmp", target("setup")},
        {home_.path() / "device.ini.tmp", target("device")},
    };
    // The pictures' old temporary names of the next minute.
    const std::time_t now = std::time(nullptr);
    for (int s = 0; s < 60; ++s) {
        const std::time_t when = now + s;
        std::tm t{};
        localtime_r(&when, &t);
        char name[40];
        std::strftime(name, sizeof name, "%Y%m%d%H%M%S.jpg.tmp", &t);
        if (std::string(name).starts_with(TodayFolderName()))
            links.emplace_back(DayFolder() / name, target(name));
    }
    for (const auto& [link, to] : links) fs::create_symlink(to, link);
    // A "day folder" leading out, with what looks like a leftover in it.
    const fs::path out_day = outside.path() / "a day";
    fs::create_directory(out_day);
    WriteFileBytes(out_day / "20250101120000.jpg.tmp", "not the diary's");
    fs::create_directory_symlink(out_day, diary_ / "20250101");

    WriteSetup(1, false);
    WriteDevice("", 320, 240);
    Start("Cam");
    ASSERT_TRUE(WaitForListed(3)) << Transcript();
    StopAndExpectCleanExit();

    for (const auto& [link, to] : links) {
        EXPECT_TRUE(fs::is_symlink(link)) << link;
        EXPECT_EQ(ReadFileBytes(to), "the user's own " + to.filename().string()) << to;
    }
    EXPECT_EQ(ReadFileBytes(out_day / "20250101120000.jpg.tmp"), "not the diary's");
    EXPECT_NE(ReadFileBytes(home_.path() / "device.ini").find("SELECT=Cam\r\n"), std::string::npos);
    EXPECT_EQ(ListedPictures(DayPage(), diary_), PictureNames(diary_));
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
}

// One diary per home: a second copy says so and ends with status 3 while the
// first goes on storing; the lock dies with its holder, even by SIGKILL.
TEST_F(HeadlessSafetyTest, SecondCopyOnOneHomeIsRefusedWhileTheFirstKeepsStoring) {
    WriteSetup(1, false);
    WriteDevice("Cam", 320, 240);
    Start("Cam");
    ASSERT_TRUE(WaitForPictures(2)) << Transcript();

    DiaryProcess second;
    ASSERT_TRUE(second.Start({home_.path(), "Cam"}));
    const ProcessEnd refused = second.WaitForEnd(kStopLimit);
    ASSERT_TRUE(refused.ended) << refused.Describe();
    EXPECT_FALSE(refused.by_signal);
    EXPECT_EQ(refused.exit_code, 3);
    EXPECT_EQ(second.Errors(),
              "quillomat: another copy is already running on the settings folder " + home_.str() +
                  "; this one ends.\n");
    EXPECT_EQ(second.Output(), "");

    const std::size_t before = PictureCount();
    ASSERT_TRUE(WaitForPictures(before + 2)) << Transcript();
    process_.Kill();
    ASSERT_TRUE(second.Start({home_.path(), "Cam"}));
    ASSERT_TRUE(WaitUntil([&] { return PictureCount() >= before + 4 || !second.Running(); },
                          kConditionLimit))
        << second.Output() << second.Errors();
    const ProcessEnd end = second.StopWith(SIGTERM, kStopLimit);
    EXPECT_TRUE(end.CleanExit()) << end.Describe();
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
}

// setup.ini saved as UTF-8 by a Linux editor: its save folder is found, that
// is said once, and the file goes back in CP932 but for what CP932 lacks. A
// value that is neither encoding is written back byte for byte.
TEST_F(HeadlessSafetyTest, Utf8SettingsFileIsReadAsUtf8AndWrittenBackInCp932) {
    const fs::path folder = home_.path() / "日記";
    fs::create_directory(folder);
    const std::string title = "INDEX_HTML_TITLE=写真の日記 😀\r\n";
    WriteFileBytes(home_.path() / "setup.ini",
                   "; 設定\r\n[DIARY]\r\nSAVE_DIRECTORY=" + folder.string() +
                       "/\r\nINTERVAL_MINUTE=0\r\nINTERVAL_SECOND=1\r\n[HTML]\r\n" + title);
    WriteDevice("Cam", 320, 240);
    Start("Cam");
    ASSERT_TRUE(WaitUntil([&] { return PictureNames(folder).size() >= 2 || !process_.Running(); },
                          kConditionLimit))
        << Transcript();
    StopAndExpectCleanExit();
    EXPECT_EQ(CountOf(process_.Output(), "setup.ini is written in UTF-8"), 1) << Transcript();
    const std::string saved = ReadFileBytes(home_.path() / "setup.ini");
    EXPECT_TRUE(saved.starts_with(Utf8ToCp932("; 設定\r\n"))) << saved;
    EXPECT_NE(saved.find(Utf8ToCp932("SAVE_DIRECTORY=" + folder.string() + "/\r\n")),
              std::string::npos);
    EXPECT_NE(saved.find(title), std::string::npos) << "what CP932 lacks keeps its bytes";
    EXPECT_EQ(CountOf(Cp932ToUtf8(ReadFileBytes(folder / "preview.html")), "写真の日記 &#128512;"),
              1);

    // Neither CP932 nor UTF-8: kept as it stands; the rest reads as CP932.
    const std::string latin1 = "TOP_CODE=<p>caf\xE9</p>\r\n";
    WriteFileBytes(home_.path() / "setup.ini",
                   Utf8ToCp932("[DIARY]\r\nSAVE_DIRECTORY=" + DiaryFolder() +
                               "\r\nINTERVAL_MINUTE=0\r\nINTERVAL_SECOND=1\r\n[TIMETEXT]\r\n"
                               "FONT_NAME=ＭＳ 明朝\r\n[HTML]\r\n") +
                       latin1);
    Start("Cam");
    ASSERT_TRUE(WaitForPictures(1)) << Transcript();
    StopAndExpectCleanExit();
    EXPECT_EQ(CountOf(process_.Output(), "setup.ini is neither CP932 nor UTF-8"), 1);
    const std::string again = ReadFileBytes(home_.path() / "setup.ini");
    EXPECT_NE(again.find(latin1), std::string::npos);
    EXPECT_NE(again.find(Utf8ToCp932("FONT_NAME=ＭＳ 明朝\r\n")), std::string::npos);
}

// A relative save folder lies in the home, wherever the program was started,
// for every job: the store, retention, the timelapse and publishing all act
// on the home's diary, and nothing is made where the program was started.
// Page names that reach out of their folders are refused, said once.
TEST_F(HeadlessSafetyTest, PathsMeanWhatTheySay) {
    TempDir elsewhere;
    TempDir remote;
    const auto day_from_today = [](int days) {
        const std::time_t then = std::time(nullptr) + days * 86400;
        std::tm t{};
        localtime_r(&then, &t);
        char name[16];
        std::strftime(name, sizeof name, "%Y%m%d", &t);
        return std::string(name);
    };
    // Yesterday gets its video and stays; a day long past goes.
    const std::string yesterday = day_from_today(-1), old = day_from_today(-30);
    fs::create_directories(diary_ / yesterday);
    for (int i = 0; i < 2; ++i) {
        WriteFileBytes(diary_ / yesterday / (yesterday + "12000" + std::to_string(i) + ".jpg"),
                       TestJpegBytes(320, 240, 60 + 20 * i, i));
    }
    fs::create_directories(diary_ / old);
    WriteFileBytes(diary_ / old / "preview.html", "an old page");
    // KEEP_DAYS keeps the newest three days that hold pictures: with
    // yesterday, two more before it, so that the day long past is old at
    // the first sweep.
    for (int days = -3; days <= -2; ++days) {
        const std::string day = day_from_today(days);
        fs::create_directories(diary_ / day);
        WriteFileBytes(diary_ / day / (day + "120000.jpg"), TestJpegBytes(320, 240, 60, 0));
    }
    WriteFileBytes(home_.path() / "rclone.conf", "");
    const std::string setup_before =
        "[DIARY]\r\nSAVE_DIRECTORY=diary\r\nINTERVAL_MINUTE=0\r\n"
        "INTERVAL_SECOND=1\r\n[HTML]\r\nPREVIEW_HTML=../setup.ini\r\n"
        "INDEX_HTML=../../escaped.html\r\n[RETENTION]\r\nKEEP_DAYS=3\r\n"
        "[TIMELAPSE]\r\nMAKE=on\r\n[PUBLISH]\r\nREMOTE=" +
        remote.path().string() + "\r\nRCLONE_CONFIG=" + (home_.path() / "rclone.conf").string() +
        "\r\nPAGE_INTERVAL_SECOND=1\r\n";
    WriteFileBytes(home_.path() / "setup.ini", setup_before);
    WriteDevice("Cam", 320, 240);
    ASSERT_TRUE(process_.Start(
        {.home = home_.path(), .test_devices = "Cam", .working_directory = elsewhere.path()}));
    ASSERT_TRUE(WaitForListed(2)) << Transcript();
    const std::string video = yesterday + "/" + yesterday + ".webm";
    const auto published = [&](const std::string& path) {
        return fs::exists(remote.path() / path);
    };
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::string page = ReadFileBytes(diary_ / yesterday / "preview.html");
            return (published(video) && published("preview.html") &&
                    published(TodayFolderName() + "/preview.html") && !fs::exists(diary_ / old) &&
                    page.find("href=\"./" + yesterday + ".webm\"") != std::string::npos) ||
                   !process_.Running();
        },
        3 * kConditionLimit))
        << Transcript();
    StopAndExpectCleanExit();
    EXPECT_TRUE(fs::is_empty(elsewhere.path()));
    EXPECT_FALSE(fs::exists(home_.path().parent_path() / "escaped.html"));
    EXPECT_TRUE(fs::exists(IndexPage()));
    EXPECT_EQ(ReadFileBytes(remote.path() / video), ReadFileBytes(diary_ / video));
    EXPECT_FALSE(published(old));
    EXPECT_EQ(CountOf(process_.Output(), "古い日を削除 " + old + " (保存日数3日, 1ファイル, "), 1)
        << Transcript();
    const std::string setup_after = ReadFileBytes(home_.path() / "setup.ini");
    EXPECT_EQ(setup_after.find("<HTML"), std::string::npos);
    EXPECT_NE(setup_after.find("PREVIEW_HTML=../setup.ini\r\n"), std::string::npos)
        << "the setting keeps its value";
    EXPECT_EQ(CountOf(process_.Output(), "PREVIEW_HTML \"../setup.ini\" would write outside"), 1);
    EXPECT_EQ(CountOf(process_.Output(), "INDEX_HTML \"../../escaped.html\" would write outside"),
              1);
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());

    // A save folder that is not there is said once at the start, besides
    // the failures of each store.
    WriteIniFile(home_.path() / "setup.ini",
                 {"[DIARY]", "SAVE_DIRECTORY=gone", "INTERVAL_MINUTE=0", "INTERVAL_SECOND=1"});
    Start("Cam");
    ASSERT_TRUE(process_.WaitForLogLine(kPictureFailedLine, 2, kConditionLimit)) << Transcript();
    StopAndExpectCleanExit();
    EXPECT_EQ(CountOf(process_.Output(), "the save folder " + home_.str() + "gone does not exist"),
              1)
        << Transcript();
}

struct ThreadState {
    std::string tid;
    std::string name;
    int nice = 0;
    int policy = 0;
};

std::vector<ThreadState> Threads(pid_t pid) {
    std::vector<ThreadState> threads;
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        const std::string stat = ReadFileBytes(task.path() / "stat");
        const std::size_t open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        std::istringstream fields(stat.substr(close + 2));
        std::vector<std::string> values{std::istream_iterator<std::string>(fields), {}};
        // From field 3 (state) on: nice is field 19, policy field 41.
        if (values.size() < 39) continue;
        threads.push_back({task.path().filename().string(), stat.substr(open + 1, close - open - 1),
                           std::stoi(values[16]), std::stoi(values[38])});
    }
    return threads;
}

// The worker and the jobs after a picture are the least urgent threads on the
// machine but never starved: nice 19 under SCHED_OTHER, not SCHED_IDLE. GStreamer's streaming
// threads, which it starts, stay at the default priority, and an unprivileged start says nothing
// about scheduler settings (run without the right to raise a priority again when the test is root).
TEST_F(HeadlessSafetyTest, WorkerAtTheLowestNormalPriorityAndStreamingThreadsAtTheDefault) {
    WriteSetup(1, false);
    WriteDevice("Cam", 320, 240);
    DiaryProcess::Options options{home_.path(), "Cam"};
    if (::geteuid() == 0) {
        if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv missing";
        options.launcher = {"setpriv", "--bounding-set", "-sys_nice", "--inh-caps", "-sys_nice"};
    }
    ASSERT_TRUE(process_.Start(options));
    // By thread: its states under its names (a run names itself once it
    // has lowered itself).
    std::map<std::string, std::map<std::string, std::set<std::pair<int, int>>>> seen;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (const ThreadState& t : Threads(process_.pid()))
                seen[t.tid][t.name].insert({t.nice, t.policy});
            return PictureCount() >= 4 || !process_.Running();
        },
        kConditionLimit, 5ms))
        << Transcript();
    StopAndExpectCleanExit();

    const std::set<std::pair<int, int>> lowest = {{19, SCHED_OTHER}};
    const std::set<std::pair<int, int>> normal = {{::getpriority(PRIO_PROCESS, 0), SCHED_OTHER}};
    int workers = 0;
    int jobs = 0;
    bool streaming = false;
    for (const auto& [tid, names] : seen) {
        if (names.count("diary worker") == 1) {
            ++workers;
            EXPECT_EQ(names.at("diary worker"), lowest) << tid;
            continue;
        }
        if (names.count("diary job") == 1) {
            ++jobs;
            EXPECT_EQ(names.at("diary job"), lowest) << tid;
            continue;
        }
        for (const auto& [name, states] : names) {
            EXPECT_EQ(states, normal) << name;
            streaming = streaming || name.find(':') != std::string::npos;
        }
    }
    EXPECT_GE(workers, 1);
    EXPECT_GE(jobs, 1);
    EXPECT_TRUE(streaming) << "a streaming thread (element:pad) was seen";
    EXPECT_EQ(process_.Errors().find("scheduler settings"), std::string::npos) << Transcript();
}

}  // namespace

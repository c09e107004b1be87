// The real program end to end: a normal run, crashes in the middle of
// stores, unreadable settings, no camera and an unwritable log file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <random>
#include <regex>
#include <thread>

#include "app/headless_fixture.h"
#include "app/version.h"
#include "platform/cp932.h"
#include "support/jpeg_decode.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace std::string_literals;
using ::testing::IsEmpty;

// The checker must see what a reader would: a picture cut off anywhere after
// its first bytes does not count as a picture.
TEST(DiaryIntegrityCheck, TruncatedPicturesAndPagesAreReported) {
    TempDir dir;
    const fs::path day = dir.path() / "20260101";
    fs::create_directory(day);
    // A whole picture from the real program is the reference.
    {
        TempDir home;
        const fs::path diary = home.path() / "d";
        fs::create_directory(diary);
        WriteIniFile(home.path() / "setup.ini",
                     {"[DIARY]", "SAVE_DIRECTORY=" + diary.string() + "/", "INTERVAL_MINUTE=10"});
        DiaryProcess process;
        ASSERT_TRUE(process.Start({home.path(), "Cam", {}}));
        ASSERT_TRUE(WaitUntil([&] { return !PictureNames(diary).empty(); }, kConditionLimit));
        process.Kill();
        const fs::path picture = diary / *PictureNames(diary).begin();
        WriteFileBytes(day / "20260101000000.jpg", ReadFileBytes(picture));
    }
    const std::string whole = ReadFileBytes(day / "20260101000000.jpg");
    ASSERT_GT(whole.size(), 1000u);
    ASSERT_TRUE(DecodeJpegFile((day / "20260101000000.jpg").string()));
    EXPECT_THAT(DiaryIntegrityProblems(dir.path()), IsEmpty());

    for (std::size_t cut :
         {whole.size() - 2, whole.size() / 2, std::size_t{600}, std::size_t{20}, std::size_t{0}}) {
        WriteFileBytes(day / "20260101000001.jpg", whole.substr(0, cut));
        EXPECT_FALSE(DecodeJpegFile((day / "20260101000001.jpg").string())) << "cut at " << cut;
        EXPECT_THAT(DiaryIntegrityProblems(dir.path()),
                    ::testing::Contains("picture does not decode: 20260101/20260101000001.jpg"))
            << "cut at " << cut;
    }
    fs::remove(day / "20260101000001.jpg");

    const std::string page =
        "<html><body><a href=\"./20260101000000.jpg\"><img src=\"./20260101000002.jpg\"></a>"
        "</body></html>\r\n";
    WriteFileBytes(day / "preview.html", page);
    EXPECT_THAT(DiaryIntegrityProblems(dir.path()),
                ::testing::ElementsAre("20260101/preview.html lists a missing or broken picture: "
                                       "20260101/20260101000002.jpg"));
    WriteFileBytes(day / "preview.html", page.substr(0, page.size() - 3));
    EXPECT_THAT(DiaryIntegrityProblems(dir.path()),
                ::testing::Contains("page cut short: 20260101/preview.html"));
    WriteFileBytes(dir.path() / "preview.html",
                   "<a href=\"./20260101/20260101000000.jpg\"></a></body></html>\r\n");
    fs::remove(day / "preview.html");
    EXPECT_THAT(DiaryIntegrityProblems(dir.path()), IsEmpty());
    EXPECT_EQ(ListedPictures(dir.path() / "preview.html", dir.path()),
              std::set<std::string>{"20260101/20260101000000.jpg"});
}

struct RunCase {
    int signal;
    // Empty: the first build binds the one camera and writes its name at once.
    // "Cam": nothing is written before the signal, which saves everything.
    std::string select;
};

void PrintTo(const RunCase& c, std::ostream* os) {
    *os << (c.signal == SIGTERM ? "SIGTERM" : "SIGINT") << ", SELECT=" << c.select;
}

class HeadlessRunTest : public HeadlessDiaryTest, public ::testing::WithParamInterface<RunCase> {};

// One-second interval on a moving test camera at a size that is not the
// default.
TEST_P(HeadlessRunTest, StoresPicturesAndPagesAndEndsOnTheSignal) {
    const std::string day_at_start = TodayFolderName();
    WriteSetup(1, false);
    WriteDevice(GetParam().select, 352, 288);
    const std::string setup_at_start = ReadFileBytes(home_.path() / "setup.ini");
    Start("Cam");

    ASSERT_TRUE(process_.WaitForLogLine(kStartedLine, 1, kConditionLimit)) << Transcript();
    if (GetParam().select.empty()) {
        // The device bound at the first build is written at once, so that a
        // kill later keeps it.
        EXPECT_TRUE(WaitUntil(
            [&] {
                return ReadFileBytes(home_.path() / "device.ini").find("\r\nSELECT=Cam\r\n") !=
                       std::string::npos;
            },
            kConditionLimit))
            << ReadFileBytes(home_.path() / "device.ini");
    }
    ASSERT_TRUE(WaitForPictures(4)) << Transcript();
    EXPECT_TRUE(process_.Running());
    if (!GetParam().select.empty()) {
        EXPECT_EQ(ReadFileBytes(home_.path() / "setup.ini"), setup_at_start)
            << "saved before the signal";
    }
    StopAndExpectCleanExit(GetParam().signal);

    const std::vector<std::string> log = LogTexts(process_.Output());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), kStartedLine);
    EXPECT_EQ(process_.CountLogLines(kPictureFailedLine), 0) << Transcript();

    // Every picture in today's folder, whole, at the configured size.
    const std::set<std::string> pictures = PictureNames(diary_);
    EXPECT_GE(pictures.size(), 4u);
    const std::string day =
        pictures.empty() ? "" : fs::path(*pictures.begin()).parent_path().string();
    EXPECT_TRUE(day == day_at_start || day == TodayFolderName()) << day;
    for (const std::string& name : pictures) {
        EXPECT_EQ(fs::path(name).parent_path().string(), day) << name;
        EXPECT_EQ(fs::path(name).filename().string().substr(0, 8), day) << name;
        const auto decoded = DecodeJpegFile((diary_ / name).string());
        ASSERT_TRUE(decoded) << name;
        EXPECT_EQ(decoded->width, 352) << name;
        EXPECT_EQ(decoded->height, 288) << name;
    }
    // The day page lists exactly those pictures; the index page is there.
    EXPECT_EQ(ListedPictures(diary_ / day / "preview.html", diary_), pictures);
    EXPECT_TRUE(fs::is_regular_file(IndexPage()));
    EXPECT_FALSE(ListedPictures(IndexPage(), diary_).empty());
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
    EXPECT_THAT(FilesEndingIn(diary_, ".tmp"), IsEmpty());

    // The settings were saved, every key, with the device and the folder.
    const std::string device = ReadFileBytes(home_.path() / "device.ini");
    EXPECT_NE(device.find("\r\nSELECT=Cam\r\n"), std::string::npos) << device;
    EXPECT_NE(device.find("\r\nWIDTH=352\r\n"), std::string::npos) << device;
    const std::string setup = ReadFileBytes(home_.path() / "setup.ini");
    EXPECT_NE(setup.find("SAVE_DIRECTORY=" + DiaryFolder() + "\r\n"), std::string::npos) << setup;
    EXPECT_NE(setup.find("\r\nINTERVAL_SECOND=1\r\n"), std::string::npos) << setup;
    EXPECT_NE(setup.find("\r\n[APPLICATION]\r\n"), std::string::npos) << setup;
    EXPECT_NE(setup.find("\r\nJPEG_QUALITY=80\r\n"), std::string::npos) << setup;
}

INSTANTIATE_TEST_SUITE_P(Signals, HeadlessRunTest,
                         ::testing::Values(RunCase{SIGTERM, ""}, RunCase{SIGINT, "Cam"}),
                         [](const ::testing::TestParamInfo<RunCase>& info) {
                             return std::string(info.param.signal == SIGTERM ? "SIGTERM"
                                                                             : "SIGINT") +
                                    (info.param.select.empty() ? "_FirstRun" : "_KnownDevice");
                         });

// --- killed in the middle of stores ---

enum class KillMoment {
    kPictureBeingWritten,
    kPictureJustRenamed,
    kPageBeingWritten,
    kBetweenStores
};

const char* MomentName(KillMoment moment) {
    switch (moment) {
        case KillMoment::kPictureBeingWritten:
            return "while a picture's temporary file is written";
        case KillMoment::kPictureJustRenamed:
            return "right after a new picture appeared";
        case KillMoment::kPageBeingWritten:
            return "while a page's temporary file is written";
        case KillMoment::kBetweenStores:
            return "between stores";
    }
    return "";
}

class HeadlessKillTest : public HeadlessDiaryTest {
protected:
    // Whether a temporary file of a `kind` (".jpg", ".html") exists:
    // "<name>.XXXXXX.tmp".
    bool BeingWritten(const std::string& kind) const {
        for (const fs::path& path : FilesEndingIn(diary_, ".tmp")) {
            if (path.filename().string().find(kind + ".") != std::string::npos) return true;
        }
        return false;
    }

    // Polls the diary as fast as is reasonable until `moment` is seen, then
    // kills the program at once. Returns whether the moment was caught (the
    // windows are milliseconds wide); the program is killed either way.
    bool KillAt(KillMoment moment, const std::set<std::string>& before) {
        const auto give_up = std::chrono::steady_clock::now() + 10s;
        bool caught = false;
        if (moment == KillMoment::kBetweenStores) {
            std::this_thread::sleep_for(1700ms);
            caught = true;
        }
        while (!caught && std::chrono::steady_clock::now() < give_up && process_.Running()) {
            switch (moment) {
                case KillMoment::kPictureBeingWritten:
                    caught = BeingWritten(".jpg");
                    break;
                case KillMoment::kPictureJustRenamed:
                    for (const std::string& name : PictureNames(diary_))
                        caught |= !before.contains(name);
                    break;
                case KillMoment::kPageBeingWritten:
                    caught = BeingWritten(".html");
                    break;
                case KillMoment::kBetweenStores:
                    break;
            }
            if (!caught) std::this_thread::sleep_for(200us);
        }
        EXPECT_TRUE(process_.Running()) << "ended before the kill\n" << Transcript();
        process_.Kill();
        return caught;
    }
};

// Frequent stores (1 s interval, and motion on a moving camera), killed four
// times at different moments and restarted on the same diary each time.
TEST_F(HeadlessKillTest, KillDuringStoresLeavesAConsistentDiary) {
    WriteSetup(1, true,
               {"MOTION_DETECT_LEVEL=0", "MOTION_DETECT_UPDATE=200", "MOTION_DETECT_INTERVAL=0"});
    WriteDevice("Cam", 640, 480);

    std::set<std::string> kept;
    int caught = 0;
    for (KillMoment moment : {KillMoment::kPictureBeingWritten, KillMoment::kPictureJustRenamed,
                              KillMoment::kPageBeingWritten, KillMoment::kBetweenStores}) {
        SCOPED_TRACE(MomentName(moment));
        Start("Cam");
        // Let the new run store something first (or at least get going).
        ASSERT_TRUE(WaitForPictures(kept.size() + 1)) << Transcript();
        caught += KillAt(moment, PictureNames(diary_)) ? 1 : 0;

        EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
        const std::set<std::string> now = PictureNames(diary_);
        for (const std::string& name : kept) EXPECT_TRUE(now.contains(name)) << "lost " << name;
        kept = now;
    }
    // Most of the narrow moments must really have been hit, or the test
    // proves little.
    EXPECT_GE(caught, 3) << "kill moments caught";
    std::printf("[   INFO   ] %d of 4 kill moments caught\n", caught);

    // A last run after the crashes: its first store lists the whole day again,
    // pictures whose page update a kill cut off included.
    Start("Cam");
    const std::size_t before = PictureCount();
    ASSERT_TRUE(WaitForPictures(before + 1)) << Transcript();
    ASSERT_TRUE(WaitUntil([&] { return ListedPictures(DayPage(), diary_).size() > before; },
                          kConditionLimit));
    StopAndExpectCleanExit();
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
    EXPECT_EQ(ListedPictures(DayPage(), diary_), PictureNames(diary_));
    for (const std::string& name : kept)
        EXPECT_TRUE(PictureNames(diary_).contains(name)) << "lost " << name;
}

// --- settings files that cannot be read ---

// Bytes no INI reader expects: random bytes, broken CP932 (lead bytes
// without trail, trail bytes alone), NULs, stray brackets and equal signs,
// and one line of several megabytes. No line starts a section.
std::string Garbage(std::mt19937& random, std::size_t bytes) {
    std::string text;
    std::uniform_int_distribution<int> byte(0, 255);
    while (text.size() < bytes) {
        switch (random() % 6) {
            case 0:
                text += static_cast<char>(byte(random));
                break;
            case 1:
                text += "\x81";
                break;
            case 2:
                text += "\xFC\r";
                break;
            case 3:
                text += std::string(1, '\0') + "=";
                break;
            case 4:
                text += "\n ]=\x82\xA0";
                break;
            case 5:
                text += "\r\n\xE0";
                break;
        }
    }
    // A line that starts with '[' would start a section.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '[') text[i] = '{';
    }
    return text;
}

class HeadlessSettingsTest : public HeadlessDiaryTest {};

TEST_F(HeadlessSettingsTest, ReadableLinesAmongGarbageAreHonoured) {
    std::mt19937 random(20261208);
    const std::string huge_line(2 * 1024 * 1024, '\xFC');
    // Inside [DIARY], among garbage lines: the folder and a one-second
    // interval are readable; the motion flag is not "on" (a NUL cuts it).
    std::string setup = Garbage(random, 20000) + "\r\n" + huge_line + "\r\n[DIARY]\r\n" +
                        Garbage(random, 3000) + "\r\nSAVE_DIRECTORY=" + DiaryFolder() + "\r\n" +
                        Garbage(random, 3000) + "\r\nINTERVAL_MINUTE=0\r\nINTERVAL_SECOND=1\r\n" +
                        "MOTION_DETECT=o\0n\r\n"s + Garbage(random, 20000);
    setup[100] = '\0';
    WriteFileBytes(home_.path() / "setup.ini", setup);
    WriteFileBytes(home_.path() / "device.ini", Garbage(random, 50000) + huge_line);
    Start("Cam");

    // A one-second interval: several pictures soon, in the folder named.
    ASSERT_TRUE(WaitForPictures(3)) << Transcript();
    // Saving megabytes of settings at the signal stays within the usual bound.
    StopAndExpectCleanExit(SIGTERM);
    EXPECT_EQ(LogTexts(process_.Output()).front(), kStartedLine);
    for (const std::string& name : PictureNames(diary_)) {
        const auto decoded = DecodeJpegFile((diary_ / name).string());
        ASSERT_TRUE(decoded) << name;
        // The size is the default: device.ini had none.
        EXPECT_EQ(decoded->width, 320);
        EXPECT_EQ(decoded->height, 240);
    }
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());

    // Saving kept the user's bytes and added what was missing.
    const std::string saved_setup = ReadFileBytes(home_.path() / "setup.ini");
    EXPECT_NE(saved_setup.find(huge_line), std::string::npos);
    EXPECT_NE(saved_setup.find("\r\nSAVE_DIRECTORY=" + DiaryFolder() + "\r\n"), std::string::npos);
    const std::string saved_device = ReadFileBytes(home_.path() / "device.ini");
    EXPECT_NE(saved_device.find("[DEVICE]\r\nSELECT=Cam\r\n"), std::string::npos);
    EXPECT_NE(saved_device.find(huge_line), std::string::npos);
}

TEST_F(HeadlessSettingsTest, UnreadableFilesFallBackToTheDefaults) {
    std::mt19937 random(7);
    WriteFileBytes(home_.path() / "setup.ini", Garbage(random, 200000));
    WriteFileBytes(home_.path() / "device.ini", std::string(5000, '\0') + Garbage(random, 5000));
    Start("Cam");
    // The default save folder is the home folder itself; the first store
    // comes at once.
    const fs::path home = home_.path();
    ASSERT_TRUE(WaitUntil([&] { return !PictureNames(home).empty() || !process_.Running(); },
                          kConditionLimit))
        << Transcript();
    ASSERT_TRUE(WaitUntil(
        [&] { return !ListedPictures(home / TodayFolderName() / "preview.html", home).empty(); },
        kConditionLimit));
    StopAndExpectCleanExit();
    const std::set<std::string> pictures = PictureNames(home);
    ASSERT_FALSE(pictures.empty());
    EXPECT_TRUE(fs::path(*pictures.begin()).parent_path().string().size() == 8)
        << *pictures.begin();
    EXPECT_THAT(DiaryIntegrityProblems(home), IsEmpty());
    EXPECT_TRUE(PictureNames(diary_).empty());
}

// --- no camera, unwritable log file ---

bool MachineHasCamera() {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/dev", ec)) {
        if (entry.path().filename().string().starts_with("video")) return true;
    }
    return false;
}

TEST_F(HeadlessDiaryTest, NoCameraIsReportedAndRetriedUntilTheSignal) {
    if (MachineHasCamera()) GTEST_SKIP() << "this machine has a camera";
    WriteSetup(1, false);
    Start("");
    ASSERT_TRUE(process_.WaitForLogLine(kStartedLine, 1, kConditionLimit)) << Transcript();
    auto messages = [&] {
        int n = 0;
        const std::string out = process_.Output();
        for (std::size_t p = out.find(kNoDeviceMessage); p != std::string::npos;
             p = out.find(kNoDeviceMessage, p + 1))
            ++n;
        return n;
    };
    EXPECT_GE(messages(), 1) << Transcript();
    // The build is tried again every 10 s (1 s at the tests' tenth).
    EXPECT_TRUE(WaitUntil([&] { return messages() >= 2; }, 25s)) << Transcript();
    EXPECT_TRUE(process_.Running());
    StopAndExpectCleanExit();
    EXPECT_TRUE(PictureNames(diary_).empty());
}

TEST_F(HeadlessDiaryTest, UnwritableLogFileIsReportedInTheLogAndStoresGoOn) {
    WriteSetup(1, false, {"[APPLICATION]", "LOGFILE=on"});
    WriteDevice("Cam", 320, 240);
    fs::create_directory(home_.path() / "log.txt");  // cannot be opened for appending
    Start("Cam");
    ASSERT_TRUE(process_.WaitForLogLine(kStartedLine, 1, kConditionLimit)) << Transcript();
    EXPECT_NE(process_.Output().find(std::string(kStartedLine) + "\nERROR : ログファイルエラー\n"),
              std::string::npos)
        << Transcript();
    ASSERT_TRUE(WaitForPictures(2)) << Transcript();
    StopAndExpectCleanExit();
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
}

// In English the log lines on standard output are English, and "log.txt"
// keeps the designed Japanese lines, in CP932, byte for byte.
TEST_F(HeadlessDiaryTest, EnglishOutputLeavesTheLogFileAsDesigned) {
    WriteSetup(1, true, {"[APPLICATION]", "LOGFILE=on"});
    WriteDevice("Cam", 320, 240);
    Start("Cam", {"QUILLOMAT_LANGUAGE=en"});
    ASSERT_TRUE(process_.WaitForLogLine("Quillomat has started.", 1, kConditionLimit))
        << Transcript();
    ASSERT_TRUE(WaitForPictures(2)) << Transcript();
    StopAndExpectCleanExit();

    const std::vector<std::string> shown = LogTexts(process_.Output());
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), "Quillomat has started.");
    for (const std::string& text : shown)
        EXPECT_TRUE(text == "Quillomat has started." || text == "Motion detected") << text;

    const std::string file = ReadFileBytes(home_.path() / "log.txt");
    const std::regex stamped(
        "\\d{4}年\\d{2}月\\d{2}日\\((日|月|火|水|木|金|土)\\) \\d{2}時\\d{2}分\\d{2}秒 - (.*)");
    std::vector<std::string> kept;
    for (std::size_t pos = 0; pos < file.size();) {
        const std::size_t end = file.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos) << "a line without CR LF: " << file.substr(pos);
        std::smatch match;
        const std::string line = Cp932ToUtf8(file.substr(pos, end - pos));
        ASSERT_TRUE(std::regex_match(line, match, stamped)) << line;
        kept.push_back(match[2]);
        pos = end + 2;
    }
    // The same lines as the output, each as designed.
    ASSERT_EQ(kept.size(), shown.size()) << file;
    for (std::size_t i = 0; i < kept.size(); ++i)
        EXPECT_EQ(kept[i], shown[i] == "Motion detected" ? kMotionLine : kStartedLine);
    EXPECT_NE(file.find(Utf8ToCp932(std::string(" - ") + kStartedLine + "\r\n")),
              std::string::npos);
}

// The about box shows the same version (app_ui_tests).
TEST(Version, IsTheProjectVersion) {
    TempDir home;
    DiaryProcess process;
    DiaryProcess::Options options{home.path(), std::nullopt, {}};
    options.arguments = {"--version"};
    ASSERT_TRUE(process.Start(options));
    EXPECT_TRUE(process.WaitForEnd(kStopLimit).CleanExit());
    EXPECT_EQ(process.Output(), "Quillomat " QUILLOMAT_VERSION "\n");
}

}  // namespace

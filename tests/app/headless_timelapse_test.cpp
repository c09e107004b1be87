// The timelapse of the real program: a past day's pictures become a video
// that GStreamer and Chromium play, its day page links it, and a kill during
// the encoding leaves no video until the next start makes it whole.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <thread>

#include "app/headless_fixture.h"
#include "support/test_video.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::UnorderedElementsAre;

constexpr const char* kMadeLine = "タイムラプス動画を作成 ";

class HeadlessTimelapseTest : public HeadlessDiaryTest {
protected:
    void WriteTimelapseSetup(int fps) {
        WriteSetup(5, false, {"[TIMELAPSE]", "MAKE=on", "FPS=" + std::to_string(fps)});
        WriteDevice("Cam", 320, 240);
    }
    static std::string PictureName(const std::string& day, int index) {
        char name[32];
        std::snprintf(name, sizeof name, "%s12%02d%02d.jpg", day.c_str(), index / 60, index % 60);
        return name;
    }
    fs::path Video(const std::string& day) const { return diary_ / day / (day + ".webm"); }
    fs::path Temporary(const std::string& day) const { return diary_ / day / (day + ".webm.tmp"); }
    std::vector<std::string> MadeLines() const {
        std::vector<std::string> lines;
        for (const std::string& text : LogTexts(process_.Output()))
            if (text.starts_with(kMadeLine)) lines.push_back(text);
        return lines;
    }
    // Until the day's video was said in the log and its page links it
    // (encodings of seconds take a minute under the sanitizers).
    bool WaitForVideoOf(const std::string& day) {
        return WaitUntil(
            [&] {
                const std::string page = ReadFileBytes(diary_ / day / "preview.html");
                return (!MadeLines().empty() &&
                        page.find("href=\"./" + day + ".webm\"") != std::string::npos) ||
                       !process_.Running();
            },
            3 * kConditionLimit);
    }
};

TEST_F(HeadlessTimelapseTest, PastDayBecomesAVideoThatPlaysAndItsPageLinksIt) {
    const std::string day = "20240105";
    fs::create_directories(diary_ / day);
    constexpr int kPictures = 60;
    constexpr int kCutOff = 33;
    auto level = [](int i) { return 30 + 3 * i; };
    for (int i = 0; i < kPictures; ++i) {
        const bool large = i == 20 || i == 40;
        std::string bytes = TestJpegBytes(large ? 640 : 320, large ? 480 : 240, level(i), i);
        if (i == kCutOff) bytes.resize(bytes.size() / 2);
        WriteFileBytes(diary_ / day / PictureName(day, i), bytes);
    }
    WriteTimelapseSetup(10);
    Start("Cam");
    ASSERT_TRUE(WaitForVideoOf(day)) << Transcript();
    StopAndExpectCleanExit();

    const std::vector<std::string> lines = MadeLines();
    ASSERT_EQ(lines.size(), 1u) << Transcript();
    EXPECT_TRUE(std::regex_match(lines[0], std::regex("タイムラプス動画を作成 20240105 \\(59コマ, "
                                                      "5\\.9秒, [0-9]+KB, 処理[0-9.]+秒, "
                                                      "読めない画像1枚を除外\\)")))
        << lines[0];
    EXPECT_FALSE(fs::exists(Temporary(day)));
    EXPECT_FALSE(fs::exists(Video(TodayFolderName())));

    const DecodedVideo video = DecodeVideoFile(Video(day).string());
    ASSERT_EQ(video.error, "");
    EXPECT_EQ(video.frames, kPictures - 1);
    EXPECT_EQ(std::make_tuple(video.width, video.height, video.fps_n, video.fps_d),
              std::make_tuple(320, 240, 10, 1));
    EXPECT_EQ(video.duration_ns, 5'900'000'000u);
    ASSERT_EQ(video.bottom_luma.size(), static_cast<std::size_t>(kPictures - 1));
    for (int i = 0, frame = 0; i < kPictures; ++i) {
        if (i == kCutOff) continue;
        EXPECT_NEAR(video.bottom_luma[frame++], VideoLumaOf(level(i)), 1.5) << "picture " << i;
    }

    // As a visitor sees it: the page's one link, and the video it plays.
    const std::string command = std::string(QUILLOMAT_PYTHON) + " " + QUILLOMAT_VIDEO_IN_BROWSER +
                                " " + diary_.string() + " " + day;
    std::FILE* browser = ::popen(command.c_str(), "r");
    ASSERT_NE(browser, nullptr);
    std::string report;
    char chunk[4096];
    while (std::size_t n = std::fread(chunk, 1, sizeof chunk, browser)) report.append(chunk, n);
    const int status = ::pclose(browser);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << report;
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << report;
    std::smatch found;
    ASSERT_TRUE(std::regex_search(
        report, found,
        std::regex(
            R"re(\{"links": \["\./20240105\.webm"\], "videos": \[\{"duration": ([0-9.]+), )re"
            R"re("width": 320, "height": 240, "error": null\}\]\})re")))
        << report;
    EXPECT_NEAR(std::stod(found[1]), 5.9, 0.05) << report;

    // The diary holds but for the picture the test cut off.
    const std::string cut = day + "/" + PictureName(day, kCutOff);
    EXPECT_THAT(
        DiaryIntegrityProblems(diary_),
        UnorderedElementsAre("picture does not decode: " + cut,
                             day + "/preview.html lists a missing or broken picture: " + cut));
}

TEST_F(HeadlessTimelapseTest, StopOrKillDuringTheEncodingLeavesNoVideoTheNextStartMakesItWhole) {
    const std::string day = "20240106";
    fs::create_directories(diary_ / day);
    // Large pictures scaled down to the first one's size: an encoding that
    // lasts seconds, long enough to be killed in the middle.
    constexpr int kPictures = 300;
    WriteFileBytes(diary_ / day / PictureName(day, 0), TestJpegBytes(320, 240, 100, 0));
    std::vector<std::string> large;
    const int side = kSanitizedBuild ? 1536 : 3072;
    for (int i = 0; i < 4; ++i) large.push_back(TestJpegBytes(side, side * 3 / 4, 60 + 30 * i, i));
    for (int i = 1; i < kPictures; ++i)
        WriteFileBytes(diary_ / day / PictureName(day, i), large[i % large.size()]);
    WriteTimelapseSetup(25);

    const auto start_and_wait_for_the_encoding = [&] {
        Start("Cam");
        return WaitUntil([&] { return fs::exists(Temporary(day)) || !process_.Running(); },
                         kConditionLimit, 5ms);
    };
    // A stop ends the encoding, within the designed 2 s, and removes its file.
    ASSERT_TRUE(start_and_wait_for_the_encoding()) << Transcript();
    StopAndExpectCleanExit();
    EXPECT_FALSE(fs::exists(Temporary(day)));
    EXPECT_FALSE(fs::exists(Video(day))) << "the encoding was over before the stop";
    EXPECT_THAT(MadeLines(), ::testing::IsEmpty());

    // A kill leaves the temporary file, never a video.
    ASSERT_TRUE(start_and_wait_for_the_encoding()) << Transcript();
    process_.Kill();
    EXPECT_TRUE(fs::exists(Temporary(day)));
    EXPECT_FALSE(fs::exists(Video(day))) << "the encoding was over before the kill";

    Start("Cam");
    ASSERT_TRUE(WaitForVideoOf(day)) << Transcript();
    StopAndExpectCleanExit();
    ASSERT_EQ(MadeLines().size(), 1u);
    // The margin the kill had.
    std::printf("[   INFO   ] %s\n", MadeLines()[0].c_str());
    EXPECT_FALSE(fs::exists(Temporary(day)));
    const DecodedVideo video = DecodeVideoFile(Video(day).string());
    ASSERT_EQ(video.error, "");
    EXPECT_EQ(video.frames, kPictures);
    EXPECT_EQ(std::make_tuple(video.width, video.height), std::make_tuple(320, 240));
    EXPECT_THAT(DiaryIntegrityProblems(diary_), ::testing::IsEmpty());
}

// A full disk fails the video it meets, once: the other days wait instead of
// failing one after another, nothing is left behind, and the next start
// makes them all.
TEST_F(HeadlessTimelapseTest, FullDiskFailsOneVideoOnceLeavesNothingAndTheNextStartMakesThem) {
    const std::vector<std::string> days = {"20240107", "20240108"};
    for (const std::string& day : days) {
        fs::create_directories(diary_ / day);
        for (int i = 0; i < 20; ++i)
            WriteFileBytes(diary_ / day / PictureName(day, i), TestJpegBytes(320, 240, 50 + i, i));
    }
    // Today's folder is there: no day begins during the run (a new day
    // would try again, once).
    fs::create_directories(DayFolder());
    WriteTimelapseSetup(25);
    const fs::path control = home_.path() / "disk-control";
    WriteFileBytes(control, "full");
    const std::vector<std::string> full_for_videos = {
        "LD_PRELOAD=" + FullDiskShimLibrary(), "QUILLOMAT_FULL_DISK_PREFIX=" + DiaryFolder(),
        "QUILLOMAT_FULL_DISK_CONTROL=" + control.string(), "QUILLOMAT_FULL_DISK_MATCH=.webm"};
    const auto failed_lines = [&] {
        std::vector<std::string> lines;
        for (const std::string& text : LogTexts(process_.Output()))
            if (text.starts_with("タイムラプス動画の作成に失敗 ")) lines.push_back(text);
        return lines;
    };

    Start("Cam", full_for_videos);
    ASSERT_TRUE(
        WaitUntil([&] { return !failed_lines().empty() || !process_.Running(); }, kConditionLimit))
        << Transcript();
    // Long enough for the other day to fail too, were it tried.
    std::this_thread::sleep_for(2s);
    StopAndExpectCleanExit();
    ASSERT_EQ(failed_lines().size(), 1u) << Transcript();
    EXPECT_TRUE(failed_lines()[0].starts_with("タイムラプス動画の作成に失敗 20240108 ("))
        << failed_lines()[0];
    EXPECT_THAT(MadeLines(), ::testing::IsEmpty());
    EXPECT_THAT(FilesEndingIn(diary_, ".webm"), ::testing::IsEmpty());
    EXPECT_THAT(FilesEndingIn(diary_, ".tmp"), ::testing::IsEmpty());

    WriteFileBytes(control, "free");
    Start("Cam", full_for_videos);
    ASSERT_TRUE(
        WaitUntil([&] { return MadeLines().size() == 2 || !process_.Running(); }, kConditionLimit))
        << Transcript();
    StopAndExpectCleanExit();
    for (const std::string& day : days) {
        const DecodedVideo video = DecodeVideoFile(Video(day).string());
        EXPECT_EQ(video.error, "") << day;
        EXPECT_EQ(video.frames, 20) << day;
    }
}

// The process's peak resident memory (VmHWM), in bytes; 0 when unreadable.
std::uint64_t PeakMemoryOf(pid_t pid) {
    const std::string status = ReadFileBytes("/proc/" + std::to_string(pid) + "/status");
    const std::size_t at = status.find("VmHWM:");
    return at == std::string::npos ? 0 : std::stoull(status.substr(at + 6)) * 1024;
}

// A past day whose first picture is 8000 x 6000: the video is 1440 x 1080
// (within 1920 x 1080), the large picture is decoded scaled down, and the
// program's memory stays within what the README gives (300 MB).
TEST_F(HeadlessTimelapseTest, HugePictureMakesACappedVideoWithinTheMemoryGiven) {
    constexpr std::uint64_t kMemoryBound = 300u * 1024 * 1024;
    const std::string day = "20240105";
    fs::create_directories(diary_ / day);
    WriteFileBytes(diary_ / day / PictureName(day, 0), TestJpegBytes(8000, 6000, 60, 0));
    for (int i = 1; i < 5; ++i)
        WriteFileBytes(diary_ / day / PictureName(day, i), TestJpegBytes(320, 240, 60 + 20 * i, i));
    WriteTimelapseSetup(10);
    Start("Cam");
    ASSERT_TRUE(WaitForVideoOf(day)) << Transcript();
    const std::uint64_t peak = PeakMemoryOf(process_.pid());
    StopAndExpectCleanExit();
    std::printf("[   INFO   ] peak memory %.1f MB\n", static_cast<double>(peak) / (1024 * 1024));
    EXPECT_GT(peak, 0u);
    EXPECT_LE(peak, kMemoryBound);

    const DecodedVideo video = DecodeVideoFile(Video(day).string());
    ASSERT_EQ(video.error, "");
    EXPECT_EQ(video.frames, 5);
    EXPECT_EQ(std::make_pair(video.width, video.height), std::make_pair(1440, 1080));
    ASSERT_EQ(video.bottom_luma.size(), 5u);
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(video.bottom_luma[i], VideoLumaOf(60 + 20 * i), 2.0) << "picture " << i;
}

// A day without a readable picture is said once: the next start neither
// says nor tries it again (it is the newest past day, so it would come
// before the day the test adds), until its folder changes.
TEST_F(HeadlessTimelapseTest, DayWithoutAReadablePictureIsSaidOnceNotAtEveryStart) {
    const std::string broken = "20240106", older = "20240104";
    const std::string line =
        "タイムラプス動画を作成できません " + broken + " (読める画像がありません)";
    fs::create_directories(diary_ / broken);
    WriteFileBytes(diary_ / broken / PictureName(broken, 0), "not a picture");
    WriteTimelapseSetup(10);
    Start("Cam");
    ASSERT_TRUE(process_.WaitForLogLine(line, 1, kConditionLimit)) << Transcript();
    StopAndExpectCleanExit();

    fs::create_directories(diary_ / older);
    WriteFileBytes(diary_ / older / PictureName(older, 0), TestJpegBytes(320, 240, 80, 0));
    Start("Cam");
    ASSERT_TRUE(WaitForVideoOf(older)) << Transcript();
    StopAndExpectCleanExit();
    EXPECT_EQ(process_.CountLogLines(line), 0) << Transcript();

    // A picture added: the day is looked at again.
    WriteFileBytes(diary_ / broken / PictureName(broken, 1), "not a picture either");
    Start("Cam");
    ASSERT_TRUE(process_.WaitForLogLine(line, 1, kConditionLimit)) << Transcript();
    StopAndExpectCleanExit();
}

}  // namespace

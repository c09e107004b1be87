// The real program end to end: what a start cleans, what a shutdown during a
// store leaves, settings that store nothing and a hand-edited page layout.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <thread>

#include "app/headless_fixture.h"
#include "support/jpeg_decode.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::IsEmpty;

constexpr const char* kNothingStored = "no picture will be stored";

int CountOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Peak resident memory of a running process, in kB; 0 when unknown.
long PeakMemoryKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

class HeadlessStoreTest : public HeadlessDiaryTest {};

// A crash between a write and its rename leaves "<name>.tmp" behind; the next
// start removes exactly those of the save tree and nothing else.
TEST_F(HeadlessStoreTest, StartRemovesLeftoverTemporaryFilesAndNothingElse) {
    const fs::path old_day = diary_ / "20240101";
    const fs::path misc = diary_ / "misc";
    fs::create_directories(DayFolder());
    fs::create_directories(old_day);
    fs::create_directories(misc);
    const std::vector<fs::path> ours = {old_day / "20240101120000.jpg.tmp",
                                        old_day / "preview.html.tmp",
                                        DayFolder() / (TodayFolderName() + "235959.jpg.tmp"),
                                        diary_ / "preview.html.tmp",
                                        old_day / "20240101120000.jpg.Ab3dE9.tmp",
                                        old_day / "20240101120000_001.jpg.x0X0x0.tmp",
                                        old_day / "preview.html.QQQQQQ.tmp",
                                        diary_ / "preview.html.a1B2c3.tmp",
                                        home_.path() / "setup.ini.Zz9Yy8.tmp",
                                        home_.path() / "device.ini.tmp",
                                        home_.path() / "snap.tmp",
                                        home_.path() / "20240101120000.jpg.k7K7k7.tmp"};
    const std::vector<fs::path> theirs = {DayFolder() / "notes.tmp",
                                          old_day / "holiday.jpg.tmp",
                                          old_day / "2024010112000.jpg.tmp",
                                          misc / "20240101120000.jpg.tmp",
                                          misc / "preview.html.tmp",
                                          diary_ / "notes.tmp",
                                          old_day / "20240101120000.jpg.Ab3dE.tmp",
                                          old_day / "20240132120000.jpg.tmp",
                                          old_day / "20240101120000_000.jpg.tmp",
                                          home_.path() / "setup.ini.bak.tmp"};
    for (const fs::path& path : ours) WriteFileBytes(path, "\xFF\xD8 cut off");
    for (const fs::path& path : theirs) WriteFileBytes(path, "kept");
    // A folder of that name is not a leftover file.
    fs::create_directory(DayFolder() / (TodayFolderName() + "235958.jpg.tmp"));

    WriteSetup(1, false);
    Start("Cam");
    ASSERT_TRUE(WaitForListed(2)) << Transcript();
    StopAndExpectCleanExit();

    for (const fs::path& path : ours) EXPECT_FALSE(fs::exists(path)) << path;
    for (const fs::path& path : theirs) EXPECT_EQ(ReadFileBytes(path), "kept") << path;
    EXPECT_TRUE(fs::is_directory(DayFolder() / (TodayFolderName() + "235958.jpg.tmp")));
    EXPECT_EQ(ListedPictures(DayPage(), diary_), PictureNames(diary_));
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
    EXPECT_EQ(CountOf(process_.Output(), kNothingStored), 0);
}

// With an interval-only diary the graph restarts for every picture, so a store
// spends over a second waiting for its fresh frame. A shutdown inside that
// wait, before any frame was copied, must not add a (black) picture.
TEST_F(HeadlessStoreTest, ShutdownDuringTheFreshFrameWaitStoresNoPicture) {
    WriteSetup(1, false);
    Start("Cam");
    ASSERT_TRUE(WaitForPictures(2)) << Transcript();
    // The newest picture and both its pages are written: the next store has
    // just begun its wait of at least one second.
    std::set<std::string> before;
    ASSERT_TRUE(WaitUntil(
        [&] {
            before = PictureNames(diary_);
            const auto in_index = ListedPictures(IndexPage(), diary_);
            return ListedPictures(DayPage(), diary_) == before &&
                   in_index.count(*before.rbegin()) == 1;
        },
        kConditionLimit))
        << Transcript();
    std::this_thread::sleep_for(300ms);
    before = PictureNames(diary_);
    StopAndExpectCleanExit();

    // On a busy machine the store may have had its frame before the signal
    // came: such a picture is a real one (the white ball), never all black.
    for (const std::string& name : PictureNames(diary_)) {
        if (before.count(name) != 0) continue;
        const std::optional<DecodedJpeg> picture = DecodeJpegFile((diary_ / name).string());
        ASSERT_TRUE(picture) << name;
        EXPECT_GT(*std::max_element(picture->rgb.begin(), picture->rgb.end()), 128) << name;
    }
    EXPECT_EQ(process_.CountLogLines(kPictureFailedLine), 0) << Transcript();
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
}

// Settings that cannot store anything are said once at the start; the program
// still runs and ends as usual.
TEST_F(HeadlessStoreTest, SettingsThatStoreNothingAreSaidOnceAtStart) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"[DIARY]", "SAVE_DIRECTORY=", "INTERVAL_SECOND=1"}, "SAVE_DIRECTORY is empty"},
        {{"[DIARY]", "SAVE_DIRECTORY=" + DiaryFolder(), "ONAIR=off"}, "ONAIR is off"},
        {{"[DIARY]", "SAVE_DIRECTORY=" + DiaryFolder(), "INTERVAL_HOUR=0", "INTERVAL_MINUTE=0",
          "INTERVAL_SECOND=0", "MOTION_DETECT=off"},
         "MOTION_DETECT is off"},
        // A hand-edited negative part: the interval never comes round.
        {{"[DIARY]", "SAVE_DIRECTORY=" + DiaryFolder(), "INTERVAL_HOUR=0", "INTERVAL_MINUTE=-1",
          "INTERVAL_SECOND=0", "MOTION_DETECT=off"},
         "INTERVAL_MINUTE is -1 and MOTION_DETECT is off"},
    };
    for (const auto& [lines, reason] : cases) {
        SCOPED_TRACE(reason);
        WriteIniFile(home_.path() / "setup.ini", lines);
        Start("Cam");
        ASSERT_TRUE(process_.WaitForLogLine(kStartedLine, 1, kConditionLimit)) << Transcript();
        // Two seconds of running: a second interval or retry would say it again.
        std::this_thread::sleep_for(2s);
        StopAndExpectCleanExit();
        EXPECT_EQ(CountOf(process_.Output(), kNothingStored), 1) << Transcript();
        EXPECT_EQ(CountOf(process_.Output(), reason), 1) << Transcript();
        EXPECT_EQ(PictureCount(), 0u);
    }
}

// A hand-edited calendar column count far beyond the dialog's 100 is used as
// 100: storing goes on, the index page and the memory stay small.
TEST_F(HeadlessStoreTest, HugeCalendarColumnCountIsUsedAsTheDialogsBound) {
    WriteSetup(1, false,
               {"[HTML]", "INDEX_CALENDAR_ROW=2147483647", "INDEX_CALENDAR_MAX=2147483647",
                "INDEX_IMAGE_MAX=2147483647"});
    Start("Cam");
    ASSERT_TRUE(WaitForListed(3)) << Transcript();
    const long peak_kb = PeakMemoryKb(process_.pid());
    StopAndExpectCleanExit();

    EXPECT_GT(peak_kb, 0);
    EXPECT_LT(peak_kb, 1024 * 1024) << "peak resident memory in kB";
    const std::string index = ReadFileBytes(IndexPage());
    EXPECT_LT(index.size(), 64u * 1024u);
    // One row of 100 month slots, one of them holding this month.
    EXPECT_EQ(CountOf(index, "<td valign=\"top\">"), 100);
    EXPECT_EQ(ListedPictures(IndexPage(), diary_), PictureNames(diary_));
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
}

}  // namespace

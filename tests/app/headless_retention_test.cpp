// Retention in the real program: days of the past, made by the test, go by
// KEEP_DAYS, KEEP_MAX_MB and KEEP_FREE_MB (the last on a small file system
// whose days pass quickly), never anything that is not the program's own,
// and the index page stops linking what went. A clock a year ahead, targets
// beyond the file system and day folders that are mount points cannot make
// it delete what it must not.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <regex>

#include "app/headless_fixture.h"
#include "support/test_video.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr const char* kFakeTimeLibrary = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";

// The local day `days` from today ("YYYYMMDD").
std::string DayFromToday(int days) {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    t.tm_mday += days;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    std::mktime(&t);
    char name[16];
    std::strftime(name, sizeof name, "%Y%m%d", &t);
    return name;
}

// A picture that decodes, padded with comment segments to `bytes`.
std::string Picture(int index, std::size_t bytes = 0) {
    std::string jpeg = TestJpegBytes(64, 48, 40 + 7 * (index % 20), index);
    if (bytes <= jpeg.size() + 4) return jpeg;
    std::size_t padding = bytes - jpeg.size();
    const std::size_t segments = (padding + 65536) / 65537;
    std::string comments;
    for (std::size_t i = 0; i < segments; ++i) {
        const std::size_t payload = (padding - 4 * (segments - i)) / (segments - i);
        const std::size_t length = payload + 2;
        comments += "\xFF\xFE";
        comments += static_cast<char>(length >> 8);
        comments += static_cast<char>(length & 0xFF);
        comments += std::string(payload, 'p');
        padding -= payload + 4;
    }
    return jpeg.insert(2, comments);
}

struct Entry {
    char kind;  // 'd' folder, 'l' link, 'f' file
    std::string bytes;
    bool operator==(const Entry&) const = default;
};

// Everything under `root`, links not followed, by path relative to it.
std::map<std::string, Entry> Tree(const fs::path& root) {
    std::map<std::string, Entry> tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string name = it->path().lexically_relative(root).string();
        if (it->is_symlink()) {
            tree[name] = {'l', fs::read_symlink(it->path()).string()};
        } else if (it->is_directory()) {
            tree[name] = {'d', ""};
        } else {
            tree[name] = {'f', ReadFileBytes(it->path())};
        }
    }
    return tree;
}

class HeadlessRetentionTest : public HeadlessDiaryTest {
protected:
    // Pictures "DAY12MMSS.jpg" of `bytes` each (0: small) and a day page
    // that lists them.
    void MakeDay(const std::string& day, int pictures, std::size_t bytes = 0) {
        fs::create_directories(diary_ / day);
        std::string page = "<html><body>\r\n";
        for (int i = 0; i < pictures; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "%s12%02d%02d.jpg", day.c_str(), i / 60, i % 60);
            WriteFileBytes(diary_ / day / name, Picture(i, bytes));
            page += "<a href=\"./" + std::string(name) + "\"><img src=\"./" + name + "\"></a>\r\n";
        }
        WriteFileBytes(diary_ / day / "preview.html", page + "</body></html>\r\n");
    }
    // The days of the deletion lines so far, in order, with their texts.
    std::vector<std::pair<std::string, std::string>> Deletions() const {
        std::vector<std::pair<std::string, std::string>> days;
        static const std::regex line("古い日を削除 ([0-9]{8}) \\((.*)\\)");
        for (const std::string& text : LogTexts(process_.Output())) {
            std::smatch found;
            if (std::regex_match(text, found, line)) days.emplace_back(found[1], found[2]);
        }
        return days;
    }
    std::size_t Listed() const { return ListedPictures(DayPage(), diary_).size(); }
    // A link to `day`'s folder, its page or one of its pictures.
    bool IndexLinks(const std::string& day, const std::string& what = "") const {
        return ReadFileBytes(IndexPage()).find("\"./" + day + "/" + what) != std::string::npos;
    }
    static std::string SizeText(std::uint64_t bytes) {
        return std::to_string((bytes + 512) / 1024) + "KB";
    }
};

// KEEP_DAYS=3: the days three or more days back lose the program's pictures
// (plain and numbered), day page and video; a user's files, a
// sub-folder, a picture of another day, links (also a day folder that is a
// link), a later day and folders that are no real date all stay.
TEST_F(HeadlessRetentionTest, KeepDaysDeletesExactlyTheProgramsFilesOfOldDays) {
    TempDir outside;
    WriteFileBytes(outside.path() / "keep.jpg", Picture(1));
    const std::string old = DayFromToday(-10), notes = DayFromToday(-9), css = DayFromToday(-8),
                      linked = DayFromToday(-7), edge = DayFromToday(-3), kept = DayFromToday(-2),
                      later = DayFromToday(30);
    MakeDay(old, 3);
    WriteFileBytes(diary_ / old / (old + "120000_001.jpg"), Picture(4));
    WriteFileBytes(diary_ / old / (old + ".webm"), "a video");
    MakeDay(notes, 2);
    WriteFileBytes(diary_ / notes / "notes.txt", "the user's notes");
    MakeDay(css, 2);
    WriteFileBytes(diary_ / css / "style.css", "body {}");
    WriteFileBytes(diary_ / css / "holiday.jpg", Picture(5));
    WriteFileBytes(diary_ / css / (notes + "120000.jpg"), Picture(6));
    fs::create_directory(diary_ / css / "extra");
    WriteFileBytes(diary_ / css / "extra" / (css + "120000.jpg"), Picture(7));
    fs::create_symlink(outside.path() / "keep.jpg", diary_ / css / (css + "130000.jpg"));
    fs::create_directory(outside.path() / "day");
    WriteFileBytes(outside.path() / "day" / (linked + "120000.jpg"), Picture(8));
    fs::create_directory_symlink(outside.path() / "day", diary_ / linked);
    MakeDay(edge, 1);
    MakeDay(kept, 1);
    MakeDay(DayFromToday(-1), 1);
    // Three newer days hold pictures, so edge is old by both of the rule's
    // counts.
    fs::create_directories(DayFolder());
    WriteFileBytes(DayFolder() / (TodayFolderName() + "000000.jpg"), Picture(11));
    MakeDay(later, 1);
    MakeDay("20230230", 0);
    WriteFileBytes(diary_ / "20230230" / "20230230120000.jpg", Picture(9));
    fs::create_directory(diary_ / "misc");
    WriteFileBytes(diary_ / "misc" / (old + "120000.jpg"), Picture(10));
    WriteFileBytes(diary_ / "style.css", "body {}");

    const std::map<std::string, Entry> before = Tree(diary_);
    const std::map<std::string, Entry> outside_before = Tree(outside.path());
    const std::map<std::string, std::vector<std::string>> removed = {
        {old,
         {old + "120000.jpg", old + "120001.jpg", old + "120002.jpg", old + "120000_001.jpg",
          old + ".webm", "preview.html"}},
        {notes, {notes + "120000.jpg", notes + "120001.jpg", "preview.html"}},
        {css, {css + "120000.jpg", css + "120001.jpg", "preview.html"}},
        {edge, {edge + "120000.jpg", "preview.html"}}};
    std::map<std::string, Entry> expected = before;
    std::vector<std::string> expected_lines;
    for (const auto& [day, files] : removed) {
        std::uint64_t bytes = 0;
        for (const std::string& file : files) {
            bytes += before.at(day + "/" + file).bytes.size();
            expected.erase(day + "/" + file);
        }
        expected_lines.push_back("保存日数3日, " + std::to_string(files.size()) + "ファイル, " +
                                 SizeText(bytes));
    }
    expected.erase(old);
    expected.erase(edge);
    const std::string kept_line = "にはほかのファイルがあるため、ディレクトリを残します";

    WriteSetup(1, false, {"[RETENTION]", "KEEP_DAYS=3"});
    WriteDevice("Cam", 320, 240);
    Start("Cam");
    ASSERT_TRUE(WaitUntil(
        [&] {
            return (Deletions().size() >= 4 &&
                    process_.CountLogLines("日別ディレクトリ " + css + " " + kept_line) > 0) ||
                   !process_.Running();
        },
        kConditionLimit))
        << Transcript();
    // The pages of the second store after the deletions were said come from
    // the folders as they are now.
    ASSERT_TRUE(WaitForListed(Listed() + 2)) << Transcript();
    StopAndExpectCleanExit();

    std::vector<std::string> days, texts;
    for (const auto& [day, text] : Deletions()) {
        days.push_back(day);
        texts.push_back(text);
    }
    EXPECT_THAT(days, ElementsAre(old, notes, css, edge)) << Transcript();
    EXPECT_EQ(texts, expected_lines);
    EXPECT_EQ(process_.CountLogLines("日別ディレクトリ " + notes + " " + kept_line), 1);
    EXPECT_EQ(process_.CountLogLines("日別ディレクトリ " + css + " " + kept_line), 1);

    std::map<std::string, Entry> after = Tree(diary_);
    std::erase_if(after, [&](const auto& entry) {
        return entry.first == "preview.html" || entry.first.starts_with(TodayFolderName());
    });
    expected.erase("preview.html");
    std::erase_if(expected,
                  [&](const auto& entry) { return entry.first.starts_with(TodayFolderName()); });
    EXPECT_EQ(after, expected);
    EXPECT_EQ(Tree(outside.path()), outside_before);

    for (const std::string& day : {old, edge}) EXPECT_FALSE(IndexLinks(day)) << day;
    for (const std::string& day : {notes, css})
        EXPECT_FALSE(IndexLinks(day, "preview.html") || IndexLinks(day, day)) << day;
    EXPECT_TRUE(IndexLinks(kept, "preview.html"));
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
}

// KEEP_MAX_MB=1 over eight past days of 328 KB: five go at start, the sixth
// once today's pictures bring the kept total over the limit.
TEST_F(HeadlessRetentionTest, KeepMaxMbRemovesTheOldestDaysUntilTheTotalFits) {
    std::vector<std::string> past;
    for (int back = 8; back >= 1; --back) {
        past.push_back(DayFromToday(-back));
        MakeDay(past.back(), 4, 82000);
    }
    WriteSetup(1, false, {"[RETENTION]", "KEEP_MAX_MB=1"});
    WriteDevice("Cam", 320, 240);
    Start("Cam");

    ASSERT_TRUE(
        WaitUntil([&] { return Deletions().size() >= 5 || !process_.Running(); }, kConditionLimit))
        << Transcript();
    ASSERT_TRUE(WaitForListed(1)) << Transcript();
    EXPECT_TRUE(fs::exists(diary_ / past[5])) << "the sixth day went before any store";
    ASSERT_TRUE(
        WaitUntil([&] { return Deletions().size() >= 6 || !process_.Running(); }, kConditionLimit))
        << Transcript();
    EXPECT_GE(Listed(), 2u);
    ASSERT_TRUE(WaitForListed(Listed() + 2)) << Transcript();
    StopAndExpectCleanExit();

    std::vector<std::string> days;
    for (const auto& [day, text] : Deletions()) {
        days.push_back(day);
        EXPECT_THAT(text, ::testing::StartsWith("合計の上限1MB, 5ファイル, "));
    }
    EXPECT_THAT(days, ElementsAreArray(past.begin(), past.begin() + 6)) << Transcript();
    std::uint64_t total = 0;
    for (const auto& [name, entry] : Tree(diary_)) total += entry.bytes.size();
    EXPECT_LE(total, 1024u * 1024u);
    for (std::size_t i = 0; i < past.size(); ++i) EXPECT_EQ(IndexLinks(past[i]), i >= 6) << past[i];
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
}

// KEEP_FREE_MB=1 on a file system of 2 MB (the full-disk shim's size), days
// passing every three pictures (libfaketime): past days go before the
// stores that need their room, and the diary stores twice what the file
// system holds without one failed store.
TEST_F(HeadlessRetentionTest, KeepFreeMbKeepsAFullSmallDiskStoringWithoutAFailedStore) {
    if (!fs::exists(kFakeTimeLibrary)) GTEST_SKIP() << "libfaketime missing: scripts/install-deps";
    constexpr std::uint64_t kDiskBytes = 2 * 1024 * 1024;
    const std::time_t first_day = 1899460800;  // 2030-03-10 12:00 UTC
    const auto day_name = [&](int day) {
        const std::time_t when = first_day + day * 86400;
        std::tm t{};
        gmtime_r(&when, &t);
        char name[16];
        std::strftime(name, sizeof name, "%Y%m%d", &t);
        return std::string(name);
    };
    const fs::path clock_file = home_.path() / "faketime.rc";
    const auto set_day = [&](int day) {
        const long offset = static_cast<long>(first_day + day * 86400 - std::time(nullptr));
        WriteFileBytes(clock_file, (offset < 0 ? "" : "+") + std::to_string(offset) + "\n");
    };
    const fs::path control = home_.path() / "disk-control";
    for (int day = -9; day < 0; ++day) MakeDay(day_name(day), 1, 120000);
    MakeDay("20991231", 1);
    const std::set<std::string> made = PictureNames(diary_);

    WriteIniFile(home_.path() / "setup.ini",
                 {"[APPLICATION]", "JPEG_QUALITY=100", "[DIARY]", "SAVE_DIRECTORY=" + DiaryFolder(),
                  "INTERVAL_HOUR=0", "INTERVAL_MINUTE=0", "INTERVAL_SECOND=1", "MOTION_DETECT=off",
                  "[RETENTION]", "KEEP_FREE_MB=1"});
    WriteDevice("Cam", 1280, 720);
    WriteFileBytes(control, "size " + std::to_string(kDiskBytes) + "\n");
    set_day(0);
    Start("Cam:bars", {"LD_PRELOAD=" + FullDiskShimLibrary() + ":" + kFakeTimeLibrary,
                       "QUILLOMAT_FULL_DISK_PREFIX=" + DiaryFolder(),
                       "QUILLOMAT_FULL_DISK_CONTROL=" + control.string(),
                       "FAKETIME_TIMESTAMP_FILE=" + clock_file.string(), "FAKETIME_NO_CACHE=1",
                       "FAKETIME_DONT_FAKE_MONOTONIC=1", "TZ=UTC"});

    // Every picture the program stored, with its size.
    std::map<std::string, std::uint64_t> stored;
    const auto look = [&] {
        for (const std::string& name : PictureNames(diary_)) {
            std::error_code ec;
            if (!made.contains(name)) stored.emplace(name, fs::file_size(diary_ / name, ec));
        }
    };
    const auto wait_for_pictures = [&](std::size_t more) {
        const std::size_t until = stored.size() + more;
        return WaitUntil(
                   [&] {
                       look();
                       return stored.size() >= until || !process_.Running();
                   },
                   kConditionLimit, 20ms) &&
               stored.size() >= until;
    };
    std::uint64_t stored_bytes = 0;
    for (int day = 1; stored_bytes < 2 * kDiskBytes; ++day) {
        ASSERT_TRUE(wait_for_pictures(3)) << Transcript();
        set_day(day);
        stored_bytes = 0;
        for (const auto& [name, bytes] : stored) stored_bytes += bytes;
    }
    // Room again: no more deletions; then two stores build the pages anew.
    WriteFileBytes(control, "size 1073741824\n");
    ASSERT_TRUE(wait_for_pictures(3)) << Transcript();
    const std::size_t deletions = Deletions().size();
    ASSERT_TRUE(wait_for_pictures(3)) << Transcript();
    const std::string index = ReadFileBytes(IndexPage());
    StopAndExpectCleanExit();

    EXPECT_EQ(process_.CountLogLines(kPictureFailedLine), 0) << Transcript();
    EXPECT_EQ(process_.CountLogLines(kDayFolderFailedLine), 0) << Transcript();
    EXPECT_EQ(Deletions().size(), deletions);
    ASSERT_GE(Deletions().size(), 9u) << Transcript();
    std::string previous;
    for (const auto& [day, text] : Deletions()) {
        EXPECT_GT(day, previous) << "oldest first, each once";
        EXPECT_THAT(text, ::testing::StartsWith("空き容量の下限1MB, "));
        EXPECT_EQ(index.find("\"./" + day + "/"), std::string::npos) << day;
        previous = day;
    }
    EXPECT_TRUE(fs::exists(diary_ / "20991231" / "20991231120000.jpg"));
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
}

// The clock a year ahead (libfaketime) with KEEP_DAYS=1: every real day is
// a year old by the calendar, yet the newest day that holds pictures (the
// real today) stays, as it would with the right clock. Back on the right
// clock, the folder of the year ahead is named once.
TEST_F(HeadlessRetentionTest, ClockAYearAheadKeepsTheNewestDayOfPicturesAndNamesTheLaterFolder) {
    if (!fs::exists(kFakeTimeLibrary)) GTEST_SKIP() << "libfaketime missing: scripts/install-deps";
    const std::string today = TodayFolderName(), yesterday = DayFromToday(-1);
    MakeDay(yesterday, 2);
    MakeDay(today, 3);
    const std::set<std::string> made = PictureNames(diary_);
    std::set<std::string> today_pictures;
    for (const std::string& name : made)
        if (name.starts_with(today + "/")) today_pictures.insert(name);
    WriteSetup(1, false, {"[RETENTION]", "KEEP_DAYS=1"});
    WriteDevice("Cam", 320, 240);
    Start("Cam", {"LD_PRELOAD=" + std::string(kFakeTimeLibrary), "FAKETIME=+365d",
                  "FAKETIME_DONT_FAKE_MONOTONIC=1"});
    // The pictures of the year ahead.
    std::string ahead;
    ASSERT_TRUE(WaitUntil(
        [&] {
            int stored = 0;
            for (const std::string& name : PictureNames(diary_)) {
                if (made.contains(name)) continue;
                ahead = name.substr(0, 8);
                ++stored;
            }
            return stored >= 3 || !process_.Running();
        },
        kConditionLimit))
        << Transcript();
    ASSERT_GT(ahead, today);
    StopAndExpectCleanExit();
    std::set<std::string> kept;
    for (const std::string& name : PictureNames(diary_))
        if (name.starts_with(today + "/")) kept.insert(name);
    EXPECT_EQ(kept, today_pictures) << Transcript();
    EXPECT_FALSE(fs::exists(diary_ / yesterday)) << "a real day back goes as it would";

    const std::string later_line = "今日より後の日付の日別ディレクトリがあります: " + ahead +
                                   " (時計を確かめてください。保存期間では削除しません)";
    Start("Cam");
    ASSERT_TRUE(WaitForListed(today_pictures.size() + 2)) << Transcript();
    StopAndExpectCleanExit();
    EXPECT_EQ(process_.CountLogLines(later_line), 1) << Transcript();
    EXPECT_TRUE(fs::exists(diary_ / ahead));
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
}

// KEEP_FREE_MB and KEEP_MAX_MB beyond a file system of 2 MB (the full-disk
// shim's size): each is said once and stays off, and no day goes.
TEST_F(HeadlessRetentionTest, TargetsBeyondTheFileSystemAreSaidOnceAndDeleteNothing) {
    const fs::path control = home_.path() / "disk-control";
    WriteFileBytes(control, "size 2097152\n");
    for (int back = 3; back >= 1; --back) MakeDay(DayFromToday(-back), 2);
    const std::map<std::string, Entry> before = Tree(diary_);
    WriteSetup(1, false, {"[RETENTION]", "KEEP_FREE_MB=3", "KEEP_MAX_MB=5"});
    WriteDevice("Cam", 320, 240);
    Start("Cam",
          {"LD_PRELOAD=" + FullDiskShimLibrary(), "QUILLOMAT_FULL_DISK_PREFIX=" + DiaryFolder(),
           "QUILLOMAT_FULL_DISK_CONTROL=" + control.string()});
    ASSERT_TRUE(WaitForListed(3)) << Transcript();
    StopAndExpectCleanExit();

    EXPECT_THAT(Deletions(), IsEmpty()) << Transcript();
    EXPECT_EQ(process_.CountLogLines("空き容量の下限3MBは保存先のファイルシステム全体(2.0MB)より"
                                     "大きいため、この規則は使いません"),
              1)
        << Transcript();
    EXPECT_EQ(process_.CountLogLines("合計の上限5MBは保存先のファイルシステム全体(2.0MB)より大きい"
                                     "ため、この規則は使いません"),
              1)
        << Transcript();
    std::map<std::string, Entry> after = Tree(diary_);
    std::erase_if(after, [&](const auto& entry) {
        return entry.first == "preview.html" || entry.first.starts_with(TodayFolderName());
    });
    EXPECT_EQ(after, before);
}

// Past day folders that are mount points: a tmpfs (another device) and a
// bind mount of a folder of the same file system. KEEP_DAYS=1 empties the
// plain old day and enters neither, saying so once for each. Only root may
// mount (skipped elsewhere).
TEST_F(HeadlessRetentionTest, DayFoldersThatAreMountPointsAreNeverEntered) {
    TempDir outside;
    const std::string plain = DayFromToday(-4), other = DayFromToday(-3), bound = DayFromToday(-2),
                      newest = DayFromToday(-1);
    MakeDay(plain, 2);
    MakeDay(newest, 1);
    fs::create_directories(diary_ / other);
    fs::create_directories(diary_ / bound);
    if (::mount("tmpfs", (diary_ / other).c_str(), "tmpfs", 0, "size=1m,mode=0755") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    struct Unmount {
        std::vector<fs::path> paths;
        ~Unmount() {
            for (const fs::path& path : paths) ::umount2(path.c_str(), MNT_DETACH);
        }
    } unmount{{diary_ / other}};
    fs::create_directories(outside.path() / "day");
    ASSERT_EQ(::mount((outside.path() / "day").c_str(), (diary_ / bound).c_str(), nullptr, MS_BIND,
                      nullptr),
              0)
        << std::strerror(errno);
    unmount.paths.push_back(diary_ / bound);
    MakeDay(other, 2);
    MakeDay(bound, 2);
    const std::map<std::string, Entry> mounted = Tree(diary_ / other);
    const std::map<std::string, Entry> outside_before = Tree(outside.path());

    WriteSetup(1, false, {"[RETENTION]", "KEEP_DAYS=1"});
    WriteDevice("Cam", 320, 240);
    Start("Cam");
    const auto other_line = [](const std::string& day) {
        return "日別ディレクトリ " + day + " は別のファイルシステムのため、削除しません";
    };
    ASSERT_TRUE(process_.WaitForLogLine(other_line(bound), 1, kConditionLimit)) << Transcript();
    ASSERT_TRUE(WaitForListed(2)) << Transcript();
    StopAndExpectCleanExit();

    std::vector<std::string> days;
    for (const auto& [day, text] : Deletions()) days.push_back(day);
    EXPECT_THAT(days, ElementsAre(plain)) << Transcript();
    EXPECT_EQ(process_.CountLogLines(other_line(other)), 1) << Transcript();
    EXPECT_EQ(process_.CountLogLines(other_line(bound)), 1) << Transcript();
    EXPECT_EQ(Tree(diary_ / other), mounted);
    EXPECT_EQ(Tree(outside.path()), outside_before);
    EXPECT_TRUE(fs::exists(diary_ / newest / (newest + "120000.jpg")));
}

}  // namespace

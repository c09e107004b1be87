#include "log/activity_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "platform/cp932.h"
#include "settings/shared_settings.h"
#include "support/fake_clock.h"
#include "support/local_time.h"
#include "support/temp_dir.h"

namespace {

class ActivityLogTest : public ::testing::Test {
protected:
    ActivityLogTest() {
        clock.SetWallClock(LocalTime(2026, 12, 7, 9, 5, 3));  // a Monday
        log.SetListener([this](const ActivityLog::Change& change) {
            changes.push_back({change.text, change.added, change.line_count});
        });
    }
    void SetLogFile(bool on) {
        settings.Update([on](DiarySettings& s) { s.LOGFILE = on; });
    }
    std::filesystem::path LogPath() const { return home.path() / "log.txt"; }

    struct Seen {
        std::string text, added;
        int line_count;
    };

    TempDir home;
    FakeClock clock;
    SharedSettings settings;
    ActivityLog log{clock, settings, [this] { return home.str(); }};
    std::vector<Seen> changes;
};

TEST(DiaryNoticeTextTest, CodeTable) {
    EXPECT_EQ(DiaryNoticeText(1), "動作を検知しました");
    EXPECT_EQ(DiaryNoticeText(256), "日別ディレクトリの作成に失敗");
    EXPECT_EQ(DiaryNoticeText(257), "画像の保存に失敗");
    EXPECT_EQ(DiaryNoticeText(258), "ファイルのオープンに失敗");
    for (int code : {0, 2, 42, 255, 259, -1}) EXPECT_EQ(DiaryNoticeText(code), "") << code;
}

TEST_F(ActivityLogTest, NoticeBecomesBoxLineAndFileLine) {
    SetLogFile(true);
    EXPECT_EQ(log.OnDiaryNotify(1), 0);
    EXPECT_EQ(log.Text(), "12/7 09:05:03 - 動作を検知しました\r\n");
    EXPECT_EQ(ReadFileBytes(LogPath()),
              Utf8ToCp932("2026年12月07日(月) 09時05分03秒 - 動作を検知しました\r\n"));

    clock.Advance(86400u * 1000u * 6 + 3600u * 1000u * 5);  // Sunday 13 December, 14:05:03
    log.OnDiaryNotify(42);
    EXPECT_EQ(log.LastAdded(), "12/13 14:05:03 - \r\n");
    EXPECT_EQ(ReadFileBytes(LogPath()),
              Utf8ToCp932("2026年12月07日(月) 09時05分03秒 - 動作を検知しました\r\n"
                          "2026年12月13日(日) 14時05分03秒 - \r\n"));
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].text, log.Text());
    EXPECT_EQ(changes[1].added, "12/13 14:05:03 - \r\n");
    EXPECT_EQ(changes[1].line_count, 3);
}

TEST_F(ActivityLogTest, TrailingSingleByteWhiteSpaceIsTrimmedFromBothLines) {
    SetLogFile(true);
    log.AddLogLine("開始   ");
    log.AddLogLine("a b\t\r\n ");
    log.AddLogLine("全角　");  // an ideographic space is no single-byte blank
    EXPECT_EQ(log.Text(),
              "12/7 09:05:03 - 開始\r\n"
              "12/7 09:05:03 - a b\r\n"
              "12/7 09:05:03 - 全角　\r\n");
    EXPECT_EQ(Cp932ToUtf8(ReadFileBytes(LogPath())),
              "2026年12月07日(月) 09時05分03秒 - 開始\r\n"
              "2026年12月07日(月) 09時05分03秒 - a b\r\n"
              "2026年12月07日(月) 09時05分03秒 - 全角　\r\n");
}

TEST_F(ActivityLogTest, FileIsAppendedToAndNeverTouchedWhenOff) {
    log.AddLogLine("off");
    EXPECT_FALSE(std::filesystem::exists(LogPath()));

    WriteFileBytes(LogPath(), "old\r\n");
    const auto stamp = std::filesystem::last_write_time(LogPath()) - std::chrono::hours(1);
    std::filesystem::last_write_time(LogPath(), stamp);
    log.AddLogLine("still off");
    EXPECT_EQ(ReadFileBytes(LogPath()), "old\r\n");
    EXPECT_EQ(std::filesystem::last_write_time(LogPath()), stamp);

    SetLogFile(true);
    log.AddLogLine("on");
    EXPECT_EQ(ReadFileBytes(LogPath()),
              "old\r\n" + Utf8ToCp932("2026年12月07日(月) 09時05分03秒 - on\r\n"));
    EXPECT_EQ(log.Text().find("ERROR"), std::string::npos);
}

TEST_F(ActivityLogTest, UnwritableFileAddsTheErrorLineAfterEachEvent) {
    SetLogFile(true);
    std::filesystem::create_directory(LogPath());  // cannot be opened as a file
    log.AddLogLine("one");
    log.OnDiaryNotify(257);
    EXPECT_EQ(log.Text(),
              "12/7 09:05:03 - one\r\n"
              "ERROR : ログファイルエラー\r\n"
              "12/7 09:05:03 - 画像の保存に失敗\r\n"
              "ERROR : ログファイルエラー\r\n");
    EXPECT_EQ(log.LastAdded(),
              "12/7 09:05:03 - 画像の保存に失敗\r\nERROR : ログファイルエラー\r\n");
    EXPECT_EQ(changes.back().added, log.LastAdded());
}

TEST_F(ActivityLogTest, FailedWriteAddsTheErrorLine) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    SetLogFile(true);
    std::filesystem::create_symlink("/dev/full", LogPath());
    log.AddLogLine("disk full");
    EXPECT_EQ(log.Text(), "12/7 09:05:03 - disk full\r\nERROR : ログファイルエラー\r\n");
}

TEST_F(ActivityLogTest, TextKeepsAtMost999CompleteLines) {
    for (int i = 1; i <= 999; ++i) log.AddLogLine("line " + std::to_string(i));
    EXPECT_EQ(log.LineCount(), 1000);
    EXPECT_EQ(changes.back().line_count, 1000);
    EXPECT_EQ(log.Text().rfind("12/7 09:05:03 - line 1\r\n", 0), 0u);

    log.AddLogLine("line 1000");
    EXPECT_EQ(log.LineCount(), 1000);
    EXPECT_EQ(changes.back().line_count, 1000);
    EXPECT_EQ(log.Text().rfind("12/7 09:05:03 - line 2\r\n", 0), 0u);
    EXPECT_NE(log.Text().find("line 1000\r\n"), std::string::npos);

    log.AddLogLine("line 1001");
    EXPECT_EQ(log.Text().rfind("12/7 09:05:03 - line 3\r\n", 0), 0u);
    EXPECT_EQ(log.LineCount(), 1000);
    EXPECT_EQ(log.LastAdded(), "12/7 09:05:03 - line 1001\r\n");
}

TEST_F(ActivityLogTest, LastingFileErrorsDoNotGrowTheTextBeyondTheLimit) {
    SetLogFile(true);
    std::filesystem::create_directory(LogPath());
    for (int i = 0; i < 1500; ++i) log.AddLogLine("event " + std::to_string(i));
    EXPECT_EQ(log.LineCount(), 1000);
    EXPECT_EQ(changes.back().line_count, 1000);
    EXPECT_TRUE(log.Text().ends_with("event 1499\r\nERROR : ログファイルエラー\r\n"));
}

TEST(CountLogLinesTest, CountsAsAnEditControl) {
    EXPECT_EQ(CountLogLines(""), 1);
    EXPECT_EQ(CountLogLines("a"), 1);
    EXPECT_EQ(CountLogLines("a\r\n"), 2);
    EXPECT_EQ(CountLogLines("a\r\nb\r\n"), 3);
    EXPECT_EQ(CountLogLines("\r\n\r\n"), 3);
}

}  // namespace

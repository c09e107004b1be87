#include "web/web_pages.h"

#include <gtest/gtest.h>

#include <regex>

#include "platform/atomic_file.h"
#include "platform/cp932.h"
#include "platform/replace_all.h"
#include "support/file_size_limit.h"
#include "web/day_page.h"
#include "web/page_text.h"
#include "web_test_support.h"

namespace {

namespace fs = std::filesystem;

// The file names of the day page's thumbnail links, in page order.
std::vector<std::string> Thumbnails(const std::string& page) {
    std::vector<std::string> names;
    static const std::regex link("<a href=\"\\./([^\"]*)\"><img src=");
    for (std::sregex_iterator it(page.begin(), page.end(), link), end; it != end; ++it)
        names.push_back((*it)[1]);
    return names;
}

std::string Name(int hour, int minute) {
    char name[32];
    std::snprintf(name, sizeof name, "20240105%02d%02d00.jpg", hour, minute);
    return name;
}

class DayPageTest : public ::testing::Test, protected DiaryFixture {
protected:
    std::string DayPage() const { return Cp932ToUtf8(Page("20240105/preview.html")); }
    // Ten pictures of the morning already on disk, as if stored before a restart.
    void TenPicturesOnDisk() {
        fs::create_directory(Path("20240105"));
        for (int i = 0; i < 10; ++i) WriteFileBytes(Path("20240105/" + Name(8, i)), "");
    }
};

TEST_F(DayPageTest, KnownStoreGivesTheExpectedPageByteForByte) {
    fs::create_directory(Path("20240105"));
    WriteFileBytes(Path("20240105/20240105080000.jpg"), "");
    WriteFileBytes(Path("20240105/20240105090000.jpg"), "");
    WriteFileBytes(Path("20240105/CAM.JPG"), "");       // the search ignores case
    WriteFileBytes(Path("20240105/notes.txt"), "");     // not a picture
    fs::create_directory(Path("20240105/folder.jpg"));  // a folder is never listed
    ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 9, 30, 5)), kStoreOk);
    EXPECT_EQ(Page("20240105/preview.html"), TestData("day_page_20240105.html"));
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("20240105")), {}), 7);
    EXPECT_TRUE(notices.codes().empty());
}

TEST_F(DayPageTest, RestartOnDayWithTenPicturesListsThemAndTheNewOneOnce) {
    for (const bool newest_first : {true, false}) {
        SCOPED_TRACE(newest_first);
        TenPicturesOnDisk();
        Edit([&](DiarySettings& s) { s.PREVIEW_SORT = newest_first; });
        pages.ResetCache();  // a restart
        ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 9, 0, 0)), kStoreOk);
        std::vector<std::string> expected;
        for (int i = 0; i < 10; ++i) expected.push_back(Name(8, i));
        expected.push_back(Name(9, 0));
        if (newest_first) std::reverse(expected.begin(), expected.end());
        EXPECT_EQ(Thumbnails(DayPage()), expected);

        // Warm: the next store adds its picture without looking at the folder again.
        fs::remove(Path("20240105/" + Name(8, 3)));
        ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 9, 10, 0)), kStoreOk);
        const auto names = Thumbnails(DayPage());
        ASSERT_EQ(names.size(), 12u);
        EXPECT_EQ(newest_first ? names.front() : names.back(), Name(9, 10));
        fs::remove_all(Path("20240105"));
    }
}

TEST_F(DayPageTest, NewDayStartsEmptyAndResetRescans) {
    ASSERT_EQ(StoreAt(LocalTime(2024, 1, 4, 23, 0, 0)), kStoreOk);
    ASSERT_EQ(StoreAt(LocalTime(2024, 1, 4, 23, 30, 0)), kStoreOk);
    ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 0, 0, 0)), kStoreOk);
    EXPECT_EQ(Thumbnails(DayPage()), std::vector<std::string>{Name(0, 0)});

    // A picture put there from outside shows only after the cache was reset.
    WriteFileBytes(Path("20240105/" + Name(0, 5)), "");
    ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 0, 10, 0)), kStoreOk);
    EXPECT_EQ(Thumbnails(DayPage()), (std::vector<std::string>{Name(0, 10), Name(0, 0)}));
    store.MarkPagesChanged();
    ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 0, 20, 0)), kStoreOk);
    EXPECT_EQ(Thumbnails(DayPage()),
              (std::vector<std::string>{Name(0, 20), Name(0, 10), Name(0, 5), Name(0, 0)}));

    // The same second stored twice keeps both, in the order of their names.
    ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 0, 20, 0)), kStoreOk);
    EXPECT_EQ(Thumbnails(DayPage()),
              (std::vector<std::string>{"20240105002000_001.jpg", Name(0, 20), Name(0, 10),
                                        Name(0, 5), Name(0, 0)}));
}

// A clock set back across midnight stores into the previous day's folder:
// that page lists that day's pictures, in the order of their names, and the
// next day's page starts again from its folder when the clock goes forward.
TEST_F(DayPageTest, ClockStepsBetweenDaysKeepEachPageToItsOwnFolder) {
    for (const bool newest_first : {true, false}) {
        SCOPED_TRACE(newest_first);
        fs::remove_all(Path("20240104"));
        fs::remove_all(Path("20240105"));
        store.MarkPagesChanged();
        Edit([&](DiarySettings& s) { s.PREVIEW_SORT = newest_first; });
        const auto order = [&](std::vector<std::string> names) {
            std::sort(names.begin(), names.end());
            if (newest_first) std::reverse(names.begin(), names.end());
            return names;
        };
        ASSERT_EQ(StoreAt(LocalTime(2024, 1, 4, 23, 59, 30)), kStoreOk);
        ASSERT_EQ(StoreAt(LocalTime(2024, 1, 4, 23, 59, 50)), kStoreOk);
        ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 0, 0, 10)), kStoreOk);
        ASSERT_EQ(StoreAt(LocalTime(2024, 1, 4, 23, 59, 40)), kStoreOk);  // set back 30 s
        ASSERT_EQ(StoreAt(LocalTime(2024, 1, 4, 23, 59, 50)), kStoreOk);
        EXPECT_EQ(Thumbnails(Cp932ToUtf8(Page("20240104/preview.html"))),
                  order({"20240104235930.jpg", "20240104235940.jpg", "20240104235950.jpg",
                         "20240104235950_001.jpg"}));
        ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 0, 0, 10)), kStoreOk);
        ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 0, 0, 5)), kStoreOk);
        EXPECT_EQ(Thumbnails(DayPage()),
                  order({"20240105000005.jpg", "20240105000010.jpg", "20240105000010_001.jpg"}));
    }
}

TEST_F(DayPageTest, TemplateOptionsAndThumbnailSizes) {
    Edit([](DiarySettings& s) {
        s.PREVIEW_AUTO_REFLESH = false;
        s.PREVIEW_IMAGE_SIZE = 33;
    });
    ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 9, 0, 0)), kStoreOk);
    const std::string page = DayPage();
    EXPECT_NE(page.find("text/css\">\r\n<!--REFRESH-->\r\n<TITLE>2024年01月05日(金)</TITLE>\r\n"),
              std::string::npos);
    EXPECT_NE(page.find("width=\"105\" height=\"79\""), std::string::npos);
    EXPECT_EQ(ThumbnailSide(-320, 33), -105);  // toward zero, not down
    EXPECT_EQ(ThumbnailSide(320, 50), 160);

    Edit([](DiarySettings& s) { s.PREVIEW_HTML = ""; });
    fs::remove(Path("20240105/preview.html"));
    ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 9, 10, 0)), kStoreOk);
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("20240105")), {}),
              2);  // the two pictures only
    EXPECT_TRUE(notices.codes().empty());
}

TEST_F(DayPageTest, UnwritablePagePostsNoticeAndKeepsThePreviousPage) {
    Edit([](DiarySettings& s) { s.INDEX_CREATE = false; });
    ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 9, 0, 0)), kStoreOk);
    const std::string before = Page("20240105/preview.html");
    ASSERT_FALSE(before.empty());

    // The disk fills while the page is written: the old page must stay whole.
    ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 9, 10, 0)), kStoreOk);
    const std::string second = Page("20240105/preview.html");
    {
        FileSizeLimit limit(64);
        pages.WritePages(kept.last, settings.Copy());
    }
    EXPECT_EQ(notices.codes(), std::vector<int>{kNoticeFileOpenFailed});
    EXPECT_EQ(Page("20240105/preview.html"), second);
    EXPECT_NE(second, before);

    // The page path itself cannot be replaced.
    fs::remove(Path("20240105/preview.html"));
    fs::create_directory(Path("20240105/preview.html"));
    ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 9, 20, 0)), kStoreOk);
    EXPECT_EQ(notices.codes(), (std::vector<int>{kNoticeFileOpenFailed, kNoticeFileOpenFailed}));
    for (const auto& entry : fs::directory_iterator(Path("20240105")))
        EXPECT_FALSE(entry.path().string().ends_with(".tmp")) << entry.path();
    fs::remove(Path("20240105/preview.html"));

    // The first write that succeeds again holds every picture of the day.
    ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 9, 30, 0)), kStoreOk);
    EXPECT_EQ(Thumbnails(DayPage()),
              (std::vector<std::string>{Name(9, 30), Name(9, 20), Name(9, 10), Name(9, 0)}));
    EXPECT_EQ(notices.codes().size(), 2u);
}

TEST(PageTextTest, EncodingLineEndsAndLinkNames) {
    EXPECT_EQ(EncodePage("a\nb"), "a\r\nb");
    EXPECT_EQ(EncodePage("保存\\~\n"), "\x95\xdb\x91\xb6\\~\r\n");
    EXPECT_EQ(EncodePage("x😀y"), "x&#128512;y");
    EXPECT_EQ(EncodePage("\xff\n"), "?\r\n");  // never a broken byte
    EXPECT_EQ(LinkText("20240105093005.jpg"), "20240105093005.jpg");
    EXPECT_EQ(LinkText("a\"b<!--CALENDAR-->#?%&.jpg"), "a%22b%3C!--CALENDAR--%3E%23%3F%25%26.jpg");

    std::string text = "<!--M--> <!--M-->";
    ReplaceAll(text, "<!--M-->", "[<!--M-->]");
    EXPECT_EQ(text, "[<!--M-->] [<!--M-->]");
    ReplaceAll(text, "", "x");
    EXPECT_EQ(text, "[<!--M-->] [<!--M-->]");
}

}  // namespace

#include "web/web_pages.h"

#include <gtest/gtest.h>

#include <regex>

#include "platform/atomic_file.h"
#include "platform/cp932.h"
#include "platform/replace_all.h"
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
    EXPECT_FALSE(fs::exists(TemporaryPathFor(Path("20240105/preview.html"))));
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

    // The same second stored twice is one file and one thumbnail.
    ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 0, 20, 0)), kStoreOk);
    EXPECT_EQ(Thumbnails(DayPage()).size(), 4u);
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

    // The temporary file cannot be made: the old page must stay whole.
    fs::create_directory(TemporaryPathFor(Path("20240105/preview.html")));
    ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 9, 10, 0)), kStoreOk);
    EXPECT_EQ(notices.codes(), std::vector<int>{kNoticeFileOpenFailed});
    EXPECT_EQ(Page("20240105/preview.html"), before);
    fs::remove(TemporaryPathFor(Path("20240105/preview.html")));

    // The page path itself cannot be replaced.
    fs::remove(Path("20240105/preview.html"));
    fs::create_directory(Path("20240105/preview.html"));
    ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 9, 20, 0)), kStoreOk);
    EXPECT_EQ(notices.codes(), (std::vector<int>{kNoticeFileOpenFailed, kNoticeFileOpenFailed}));
    EXPECT_FALSE(fs::exists(TemporaryPathFor(Path("20240105/preview.html"))));
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

#include <gtest/gtest.h>

#include "diary/layout/day_folders.h"
#include "platform/atomic_file.h"
#include "platform/cp932.h"
#include "platform/replace_all.h"
#include "support/file_size_limit.h"
#include "web/index_page.h"
#include "web/page_text.h"
#include "web_test_support.h"

namespace {

namespace fs = std::filesystem;

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t pos = text.find(what); pos != std::string::npos;
         pos = text.find(what, pos + what.size()))
        ++n;
    return n;
}

std::string Slot(int k) { return "<td valign=\"top\"><!--" + std::to_string(k) + "--></td>"; }

// The "year month" headings of the calendar in order.
std::vector<std::string> MonthHeadings(const std::string& html) {
    std::vector<std::string> headings;
    const std::string open = "<b><b>";
    for (std::size_t pos = html.find(open); pos != std::string::npos;
         pos = html.find(open, pos + 1)) {
        const std::size_t start = pos + open.size();
        headings.push_back(html.substr(start, html.find("</b>", start) - start));
    }
    return headings;
}

TEST(MonthTableTest, February2024And2026ByteForByte) {
    EXPECT_EQ(DayOfWeek(2024, 2, 1), 4);
    EXPECT_EQ(DayOfWeek(2026, 2, 1), 0);
    EXPECT_EQ(DayOfWeek(2024, 1, 5), 5);
    EXPECT_EQ(DayOfWeek(2000, 3, 1), 3);

    TempDir save;
    // A day with its day page links to the page, one without to its folder.
    fs::create_directories(save.path() / "20240205");
    WriteFileBytes(save.path() / "20240205" / "preview.html", "");
    fs::create_directories(save.path() / "20240220");
    fs::create_directories(save.path() / "20260201");
    fs::create_directories(save.path() / "20260228");
    WriteFileBytes(save.path() / "20260228" / "preview.html", "");
    const MonthTableContext context{save.str(), "preview.html", 15};
    const std::set<std::string> days{"20240205", "20240220", "20260201", "20260228", "20240305"};

    EXPECT_EQ(BuildMonthTable(2024, 2, days, context), TestData("month_2024_02.html"));
    EXPECT_EQ(BuildMonthTable(2026, 2, days, context), TestData("month_2026_02.html"));

    MonthTableContext big = context;
    big.font_size = 45;
    EXPECT_NE(
        BuildMonthTable(2026, 2, {}, big)
            .find("cellpadding=\"10\" cellspacing=\"1\" border=\"0\" style=\"font-size:45;\""),
        std::string::npos);
    EXPECT_EQ(BuildMonthTable(2026, 13, days, context), "");
}

class CalendarTest : public ::testing::Test {
protected:
    void Dirs(std::initializer_list<const char*> names) {
        for (const char* name : names) fs::create_directories(save.path() / name);
    }
    void Build() {
        cache.saveSubdirectories = ListSubfolders(OpenFolder::Open(save.str()));
        BuildCalendarHtml(cache, save.str(), settings);
    }

    TempDir save;
    DiarySettings settings;
    PageCache cache;
};

TEST_F(CalendarTest, DaysOfTwoMonthsAmongOtherEntriesFillTwoOfFiveSlots) {
    Dirs({"20240130", "20240205", "20240220", "misc"});
    WriteFileBytes(save.path() / "20240301", "a plain file");
    Build();
    const std::string& html = cache.calendarHtml;
    EXPECT_EQ(MonthHeadings(html), (std::vector<std::string>{"2024年 2月", "2024年 1月"}));
    const std::string feb =
        BuildMonthTable(2024, 2, {"20240205", "20240220"}, {save.str(), "preview.html", 15});
    const std::string jan =
        BuildMonthTable(2024, 1, {"20240130"}, {save.str(), "preview.html", 15});
    EXPECT_EQ(html, "<table><tr><td valign=\"top\">" + feb + "</td><td valign=\"top\">" + jan +
                        "</td>" + Slot(2) + Slot(3) + Slot(4) + "</tr></table>");
    EXPECT_EQ(html.find('\n', html.rfind("</td>", html.size() - 1) - 30), std::string::npos);
    EXPECT_EQ(cache.saveSubdirectories,
              (std::vector<std::string>{"misc", "20240220", "20240205", "20240130"}));
}

TEST_F(CalendarTest, OrderLimitAndRows) {
    Dirs({"20231105", "20231201", "20240101", "20240201", "20240301"});
    settings.INDEX_CALENDAR_MAX = 2;
    Build();
    EXPECT_EQ(MonthHeadings(cache.calendarHtml),
              (std::vector<std::string>{"2024年 3月", "2024年 2月"}));
    settings.INDEX_CALENDAR_SORT = false;
    Build();
    EXPECT_EQ(MonthHeadings(cache.calendarHtml),
              (std::vector<std::string>{"2023年 11月", "2023年 12月"}));

    // Five months in five columns: a second row of marker-only slots.
    settings.INDEX_CALENDAR_MAX = 15;
    Build();
    EXPECT_EQ(MonthHeadings(cache.calendarHtml).size(), 5u);
    EXPECT_NE(cache.calendarHtml.find("</tr><tr>" + Slot(5) + Slot(6) + Slot(7) + Slot(8) +
                                      Slot(9) + "</tr></table>"),
              std::string::npos);
    EXPECT_EQ(cache.calendarHtml.find(Slot(10)), std::string::npos);

    // Below one column (hand-edited setup.ini) counts as one column.
    for (const int columns : {0, -3}) {
        settings.INDEX_CALENDAR_ROW = columns;
        Build();
        EXPECT_EQ(MonthHeadings(cache.calendarHtml).size(), 5u);
        EXPECT_NE(cache.calendarHtml.find("</td></tr><tr>" + Slot(5) + "</tr></table>"),
                  std::string::npos);
    }
    // Above the dialog's 100 (columns or months) counts as 100: one row of
    // 100 slots, not billions.
    for (const int huge : {101, 2147483647}) {
        settings.INDEX_CALENDAR_ROW = huge;
        settings.INDEX_CALENDAR_MAX = huge;
        Build();
        EXPECT_EQ(MonthHeadings(cache.calendarHtml).size(), 5u);
        EXPECT_NE(cache.calendarHtml.find(Slot(99) + "</tr></table>"), std::string::npos);
        EXPECT_EQ(cache.calendarHtml.find(Slot(100)), std::string::npos);
        int slots = 0;
        for (std::size_t at = cache.calendarHtml.find("<td valign=\"top\">");
             at != std::string::npos; at = cache.calendarHtml.find("<td valign=\"top\">", at + 1))
            ++slots;
        EXPECT_EQ(slots, 100);
    }
}

TEST_F(CalendarTest, EightCharacterNamesThatAreNoDatesStayOut) {
    Dirs({"20241301", "20240001", "2024ab01", "20240200", "20240231", "00000101", "-0240101",
          "20240215"});
    Build();
    EXPECT_EQ(MonthHeadings(cache.calendarHtml), std::vector<std::string>{"2024年 2月"});
    EXPECT_NE(cache.calendarHtml.find("<a href=\"./20240215/\">"), std::string::npos);
    EXPECT_EQ(cache.calendarHtml.find("<a href=\"./20240231"), std::string::npos);
    EXPECT_NE(cache.calendarHtml.find(Slot(1)), std::string::npos);
}

// The index page through the real store.
class IndexPageTest : public ::testing::Test, protected DiaryFixture {
protected:
    std::string IndexPage() const { return Cp932ToUtf8(Page("preview.html")); }
    std::vector<std::string> Recent() const { return pages.cache().recentPictures; }
};

TEST_F(IndexPageTest, TemplateWithUserTextsMarkersAndEncoding) {
    Edit([](DiarySettings& s) {
        s.INDEX_HTML_TITLE = "保存履歴<!--CALENDAR-->";
        s.TOP_CODE = "<p>😀 ①</p><!--BOTTOMCODE-->";
        s.BOTTOM_CODE = "<i>end</i>";
        s.INDEX_AUTO_REFLESH_SECOND = 30;
    });
    fs::create_directory(Path("写真"));
    WriteFileBytes(Path("写真/旅.jpg"), "");
    ASSERT_EQ(StoreAt(LocalTime(2024, 2, 5, 9, 0, 0)), kStoreOk);
    const std::string raw = Page("preview.html");
    EXPECT_EQ(Count(raw, "\n"), Count(raw, "\r\n"));
    EXPECT_NE(raw.find(Utf8ToCp932("<TITLE>保存履歴")), std::string::npos);
    EXPECT_NE(raw.find("<p>&#128512; \x87\x40</p>"),
              std::string::npos);  // U+1F600 has no CP932 form

    const std::string page = IndexPage();
    std::string calendar = pages.cache().calendarHtml;
    ReplaceAll(calendar, "\n", "\r\n");
    EXPECT_EQ(
        page.substr(0, page.find("<TITLE>")),
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n<HTML "
        "lang=\"ja\">\r\n"
        "<HEAD>\r\n<META http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\r\n"
        "<META http-equiv=\"Content-Style-Type\" content=\"text/css\">\r\n"
        "<META http-equiv=\"refresh\" content=\"30\">\r\n\r\n");
    EXPECT_NE(page.find("<TITLE>保存履歴" + calendar + "</TITLE>\r\n"), std::string::npos);
    EXPECT_NE(page.find("<!--Quillomat v1.61--><p>&#128512; "
                        "①</p><i>end</i><center>\r\n<!--CORVANET-->\r\n<table><tr><td>"),
              std::string::npos);
    EXPECT_NE(
        page.find("</table><br>\r\n" + calendar + "\r\n</center>\r\n<i>end</i></body></html>\r\n"),
        std::string::npos);
    // The folder "写真" sorts after the day folders: listed first.
    EXPECT_EQ(Recent(),
              (std::vector<std::string>{"./写真/旅.jpg", "./20240205/20240205090000.jpg"}));
    EXPECT_NE(
        page.find(
            "<a href=\"./写真/旅.jpg\"><img src=\"./写真/旅.jpg\" width=\"160\" height=\"120\" "
            "border=\"0\"></a>\r\n<a href=\"./20240205/"),
        std::string::npos);
}

TEST_F(IndexPageTest, NewestPicturesRebuiltOnlyWhenEmptyAndTrimmed) {
    for (int day = 1; day <= 3; ++day) {
        fs::create_directory(Path("2024030" + std::to_string(day)));
        for (int i = 0; i < 3; ++i) {
            WriteFileBytes(Path("2024030" + std::to_string(day) + "/2024030" + std::to_string(day) +
                                "0" + std::to_string(i) + "0000.jpg"),
                           "");
        }
    }
    ASSERT_EQ(StoreAt(LocalTime(2024, 3, 3, 12, 0, 0)), kStoreOk);
    EXPECT_EQ(Recent(), (std::vector<std::string>{
                            "./20240303/20240303120000.jpg", "./20240303/20240303020000.jpg",
                            "./20240303/20240303010000.jpg", "./20240303/20240303000000.jpg",
                            "./20240302/20240302020000.jpg"}));
    fs::remove_all(Path("20240302"));  // not looked at again while the list is warm
    ASSERT_EQ(StoreAt(LocalTime(2024, 3, 3, 12, 5, 0)), kStoreOk);
    EXPECT_EQ(Recent().front(), "./20240303/20240303120500.jpg");
    EXPECT_EQ(Recent().back(), "./20240303/20240303000000.jpg");
    EXPECT_EQ(Recent().size(), 5u);
    EXPECT_EQ(Count(IndexPage(), "<img src="), 5);
}

TEST_F(IndexPageTest, WrittenOnlyWhenItsFeaturesAskForIt) {
    Edit([](DiarySettings& s) { s.INDEX_PREVIEW = false; });
    ASSERT_EQ(StoreAt(LocalTime(2024, 3, 1, 12, 0, 0)), kStoreOk);
    EXPECT_NE(IndexPage().find("<!--THUMBNAIL-->"), std::string::npos);
    WriteFileBytes(Path("preview.html"), "mine");
    ASSERT_EQ(StoreAt(LocalTime(2024, 3, 1, 12, 5, 0)), kStoreOk);
    EXPECT_EQ(Page("preview.html"), "mine");  // same day, file present: no rebuild
    ASSERT_EQ(StoreAt(LocalTime(2024, 3, 2, 12, 0, 0)), kStoreOk);
    EXPECT_EQ(MonthHeadings(IndexPage()).size(), 1u);  // first picture of a day

    Edit([](DiarySettings& s) { s.INDEX_CALENDAR = false; });
    fs::remove(Path("preview.html"));
    ASSERT_EQ(StoreAt(LocalTime(2024, 3, 3, 12, 0, 0)), kStoreOk);
    EXPECT_FALSE(fs::exists(Path("preview.html")));
    EXPECT_TRUE(notices.codes().empty());
}

TEST_F(IndexPageTest, UnwritableIndexPostsNoticeAndKeepsPreviousPage) {
    ASSERT_EQ(StoreAt(LocalTime(2024, 3, 1, 12, 0, 0)), kStoreOk);
    const std::string before = Page("preview.html");
    {
        // Full while the index page is written.
        Edit([](DiarySettings& s) { s.PREVIEW_CREATE = false; });
        FileSizeLimit limit(64);
        kept.last.file_name = "20240301120500.jpg";
        pages.WritePages(kept.last, settings.Copy());
    }
    EXPECT_EQ(notices.codes(), std::vector<int>{kNoticeFileOpenFailed});
    EXPECT_EQ(Page("preview.html"), before);
    Edit([](DiarySettings& s) { s.PREVIEW_CREATE = true; });
    ASSERT_EQ(StoreAt(LocalTime(2024, 3, 1, 12, 10, 0)), kStoreOk);
    EXPECT_NE(Page("preview.html"), before);
    EXPECT_EQ(notices.codes().size(), 1u);
}

}  // namespace

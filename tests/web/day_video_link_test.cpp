// The day page's link to its day's video, and a past day's page rewritten
// from its folder alone (the timelapse does it from its own thread).
#include <gtest/gtest.h>

#include <thread>

#include "platform/cp932.h"
#include "timelapse/day_timelapse.h"
#include "timelapse/timelapse_settings.h"
#include "web/day_page.h"
#include "web_test_support.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kLink = "<br><a href=\"./20240105.webm\">タイムラプス動画</a><br><table";

class DayVideoLinkTest : public ::testing::Test, protected DiaryFixture {
protected:
    DayVideoLinkTest() { pages.LinkDayVideos(DayVideoToLink); }
    std::string DayPage() const { return Page("20240105/preview.html"); }
    std::string Rewrite() {
        return pages.RewritePastDayPage(save.str(), "20240105", settings.Copy());
    }
};

TEST_F(DayVideoLinkTest, RewriteFromTheFolderIsThePageARescanningStoreWrites) {
    for (int minute = 0; minute < 3; ++minute)
        ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 9, minute)), kStoreOk);
    for (const bool newest_first : {true, false}) {
        Edit([&](DiarySettings& s) {
            s.PREVIEW_SORT = newest_first;
            s.PREVIEW_IMAGE_SIZE = newest_first ? 50 : 33;
        });
        pages.ResetCache();
        ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 9, newest_first ? 3 : 4)), kStoreOk);
        const std::string stored = DayPage();
        fs::remove(Path("20240105/preview.html"));
        EXPECT_EQ(Rewrite(), Path("20240105/preview.html").string());
        EXPECT_EQ(DayPage(), stored) << newest_first;
    }

    // Any "*.jpg" is listed, in name order; a size comes from the newest
    // picture that has one.
    WriteFileBytes(Path("20240105/CAM.JPG"), "");
    ASSERT_FALSE(Rewrite().empty());
    const std::string page = DayPage();
    EXPECT_NE(page.find("<a href=\"./20240105090000.jpg\"><img src=\"./20240105090000.jpg\" "
                        "width=\"105\" height=\"79\" border=\"0\"></a>\r\n"
                        "<a href=\"./20240105090100.jpg\">"),
              std::string::npos);
    EXPECT_NE(page.find("./20240105090400.jpg\" width=\"105\" height=\"79\" border=\"0\"></a>\r\n"
                        "<a href=\"./CAM.JPG\">"),
              std::string::npos);

    Edit([](DiarySettings& s) { s.PREVIEW_CREATE = false; });
    EXPECT_EQ(Rewrite(), "");
    EXPECT_EQ(pages.RewritePastDayPage(save.str(), "2024010x", settings.Copy()), "");
    EXPECT_TRUE(notices.codes().empty());
}

TEST_F(DayVideoLinkTest, LinkedOnlyWithMakeOnAndTheVideoThereAsAFile) {
    // The one picture stored again and again: a taken name would be numbered.
    const auto store_again = [&] {
        fs::remove(Path("20240105/20240105090000.jpg"));
        return StoreAt(LocalTime(2024, 1, 5, 9, 0));
    };
    ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 9, 0)), kStoreOk);
    const std::string without = DayPage();
    const fs::path video = Path("20240105/20240105.webm");
    const fs::path page = Path("20240105/preview.html");

    // Not there, or not a file: no link, the designed page.
    Edit([](DiarySettings& s) { s.Section<TimelapseSettings>().MAKE = true; });
    ASSERT_EQ(store_again(), kStoreOk);
    EXPECT_EQ(DayPage(), without);
    fs::create_directory(video);
    ASSERT_FALSE(Rewrite().empty());
    EXPECT_EQ(DayPage(), without);
    fs::remove(video);
    fs::create_symlink(Path("20240105/preview.html"), video);
    ASSERT_EQ(store_again(), kStoreOk);
    EXPECT_EQ(DayPage(), without);
    EXPECT_FALSE(DayPageLinksVideo(page.string(), "20240105.webm"));
    fs::remove(video);

    // There: one link under the date, from the store and from a rewrite.
    WriteFileBytes(video, "video");
    ASSERT_EQ(store_again(), kStoreOk);
    std::string linked = DayPage();
    std::string expected = without;
    ASSERT_NE(expected.find("<br><table"), std::string::npos);
    expected.replace(expected.find("<br><table"), 10, Utf8ToCp932(kLink));
    EXPECT_EQ(linked, expected);
    EXPECT_TRUE(DayPageLinksVideo(page.string(), "20240105.webm"));
    ASSERT_FALSE(Rewrite().empty());
    EXPECT_EQ(DayPage(), expected);

    // MAKE off again: the store writes the designed page.
    Edit([](DiarySettings& s) { s.Section<TimelapseSettings>().MAKE = false; });
    ASSERT_EQ(store_again(), kStoreOk);
    EXPECT_EQ(DayPage(), without);
    EXPECT_FALSE(DayPageLinksVideo(page.string(), "20240105.webm"));
}

// A store and a rewrite of the same page from two threads never share a
// temporary file: every write lands whole and none fails.
TEST_F(DayVideoLinkTest, StoresAndRewritesOfOnePageFromTwoThreads) {
    ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 9, 0)), kStoreOk);
    std::thread rewriter([this] {
        for (int i = 0; i < 50; ++i) EXPECT_FALSE(Rewrite().empty());
    });
    for (int i = 0; i < 50; ++i) ASSERT_EQ(StoreAt(LocalTime(2024, 1, 5, 9, 0)), kStoreOk);
    rewriter.join();
    EXPECT_TRUE(notices.codes().empty());
    EXPECT_TRUE(DayPage().ends_with("</body></html>\r\n"));
}

}  // namespace

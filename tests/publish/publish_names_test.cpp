#include "publish/publish_names.h"

#include <gtest/gtest.h>

namespace {

TEST(PublishNames, PartialUploadsCarryTheirFinalName) {
    const std::string partial = PartialName("20240301120000.jpg", "Ab3dE9");
    EXPECT_EQ(partial, "20240301120000.jpg.Ab3dE9.partial");
    EXPECT_TRUE(IsPartialNameOf(partial, "20240301120000.jpg"));
    EXPECT_FALSE(IsPartialNameOf("20240301120000.jpg.Ab3d.partial", "20240301120000.jpg"));
    EXPECT_FALSE(IsPartialNameOf("20240301120000.jpg.Ab-dE9.partial", "20240301120000.jpg"));
    EXPECT_EQ(FinalNameOfPartial("notes.txt.Zz9Zz9.partial"), "notes.txt");
    EXPECT_EQ(FinalNameOfPartial("notes.txt"), "");
}

TEST(PublishNames, PagesLinkTheirPicturesAndVideoAndNothingElseCounts) {
    // The day page's own form, the index page's "./day/name", and what a
    // user's top or bottom code may hold.
    const std::string day_page =
        "<LINK href=\"style.css\" rel=\"stylesheet\">\r\n"
        "<a href=\"./20240301120005.jpg\"><img src=\"./20240301120005.jpg\" width=\"160\"></a>\r\n"
        "<a href=\"./20240301120000.jpg\"><img src=\"./20240301120000.jpg\" width=\"160\"></a>\r\n"
        "<a href=\"20240301.webm\">video</a><IMG SRC='20240301120007_001.jpg'>\r\n"
        "<a href=\"../20240229/20240229235959.jpg\">yesterday</a>\r\n"
        "<img src=\"http://example.org/20240301120001.jpg\"><img src=\"/abs/20240301120002.jpg\">"
        "<img src=\"../../20240301/20240301120003.jpg\"><img src=\"logo.jpg\">"
        "<a href=\"20240301120004.jpg?x=1\">q</a><img src=20240301120006.jpg>";
    EXPECT_EQ(
        LinkedMedia(day_page, "20240301/preview.html"),
        (std::vector<std::string>{"20240301/20240301120005.jpg", "20240301/20240301120000.jpg",
                                  "20240301/20240301.webm", "20240301/20240301120007_001.jpg",
                                  "20240229/20240229235959.jpg", "20240301/20240301120006.jpg"}));
    const std::string index_page =
        "<a href=\"./20240301/20240301120005.jpg\"><img src=\"./20240301/20240301120005.jpg\" "
        "width=\"160\" height=\"120\" border=\"0\"></a>\n"
        "<a href=\"./20240229/preview.html\"><font color=\"#ff0000\"><b>29</b></font></a>";
    EXPECT_EQ(LinkedMedia(index_page, "preview.html"),
              (std::vector<std::string>{"20240301/20240301120005.jpg"}));
}

}  // namespace

// The diary's names and their one recogniser each, as every job reads them.
#include "diary/layout/diary_names.h"

#include <gtest/gtest.h>

namespace {

TEST(DiaryNames, MadeZeroPaddedAndRecognisedOnlyInTheFormsTheProgramWrites) {
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 0;
    t.tm_mday = 5;
    t.tm_hour = 7;
    t.tm_min = 3;
    t.tm_sec = 9;
    EXPECT_EQ(DayDirectoryName(t), "20240105");
    EXPECT_EQ(PictureFileName(t), "20240105070309.jpg");
    EXPECT_EQ(PictureFileName(t, 12), "20240105070309_012.jpg");
    EXPECT_EQ(PictureFileName(t, kMaxPictureRepeat + 1), "");

    EXPECT_TRUE(IsDayDirectoryName("20240229"));
    for (const char* name : {"20230229", "20241301", "20240100", "00000101", "2024030", "2024ab01"})
        EXPECT_FALSE(IsDayDirectoryName(name)) << name;
    EXPECT_EQ(DaysInMonth(2024, 2), 29);
    EXPECT_EQ(DaysInMonth(1900, 2), 28);
    EXPECT_EQ(DaysInMonth(2000, 2), 29);
    EXPECT_EQ(DaysInMonth(2024, 13), 0);

    EXPECT_TRUE(IsPictureFileName("20240301120000.jpg", "20240301"));
    EXPECT_TRUE(IsPictureFileName("20240301120000_002.jpg", "20240301"));
    for (const char* name :
         {"20240302120000.jpg", "20240301120000.jpg.tmp", "20240301120000.jpg.Ab3dE9.tmp",
          "2024030112000.jpg", "20240301120000_2.jpg", "20240301120000_000.jpg",
          "20240301120000_0001.jpg", "20240301246000.jpg", "20240301120000.JPG", "holiday.jpg"}) {
        EXPECT_FALSE(IsPictureFileName(name, "20240301")) << name;
    }
    EXPECT_TRUE(IsPictureTemporaryName("20240301120000.jpg.Ab3dE9.tmp", "20240301"));
    EXPECT_EQ(DayVideoName("20240301"), "20240301.webm");
    EXPECT_EQ(DayVideoTemporaryName("20240301"), "20240301.webm.tmp");

    for (const char* name : {"20240301120000_001.jpg", "preview.html", "preview.html.tmp",
                             "20240301.webm", "20240301.webm.tmp"})
        EXPECT_TRUE(IsOwnDayFile("20240301", name, "preview.html")) << name;
    for (const char* name : {"holiday.jpg", "20240302.webm", "notes.tmp", "index.html"})
        EXPECT_FALSE(IsOwnDayFile("20240301", name, "preview.html")) << name;

    // The pages show any ".jpg", the user's too.
    for (const char* name : {"holiday.jpg", "HOLIDAY.JPG", "20240301120000.jpg"})
        EXPECT_TRUE(IsPagePictureName(name)) << name;
    for (const char* name : {"jpg", "a.jpeg", "a.jpg.tmp", "a_jpg"})
        EXPECT_FALSE(IsPagePictureName(name)) << name;
}

}  // namespace

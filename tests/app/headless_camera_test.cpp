// The real program on the kinds of camera found in the wild: one that shows
// the present at every start, Motion-JPEG cameras, cameras that are unplugged
// and plugged in again.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "app/headless_fixture.h"
#include "support/jpeg_decode.h"

namespace {

namespace fs = std::filesystem;
using ::testing::IsEmpty;

const std::vector<std::string> kNoTimeText = {"[TIMETEXT]", "SHOW_TEXT=off"};

class HeadlessCameraKindsTest : public HeadlessDiaryTest {
protected:
    // The bytes of every picture so far, by name.
    std::map<std::string, std::string> Pictures() const {
        std::map<std::string, std::string> pictures;
        for (const std::string& name : PictureNames(diary_))
            pictures[name] = ReadFileBytes(diary_ / name);
        return pictures;
    }
    // Names of pictures that are byte for byte the one before them.
    std::vector<std::string> RepeatedPictures() const {
        std::vector<std::string> repeated;
        const std::map<std::string, std::string> pictures = Pictures();
        const std::string* previous = nullptr;
        for (const auto& [name, bytes] : pictures) {
            if (previous != nullptr && *previous == bytes) repeated.push_back(name);
            previous = &bytes;
        }
        return repeated;
    }
};

// Interval pictures without motion detection restart the graph for every
// picture; without the time text, only the camera's picture tells them apart.
// A camera shows what is in front of it now, so no two may be the same.
TEST_F(HeadlessCameraKindsTest, ConsecutiveIntervalPicturesShowThePresent) {
    WriteSetup(1, false, kNoTimeText);
    WriteDevice("Cam", 320, 240);
    Start("Cam");
    ASSERT_TRUE(WaitForPictures(3)) << Transcript();
    StopAndExpectCleanExit();
    EXPECT_THAT(RepeatedPictures(), IsEmpty());
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
    EXPECT_EQ(ListedPictures(DayPage(), diary_), PictureNames(diary_));
}

// A Motion-JPEG camera whose first frame after every start of the graph is
// damaged, which is the frame a store's wait finds first: the damaged frame
// is skipped, never stored and never taken for the fresh one, and every
// picture is a whole, new one.
TEST_F(HeadlessCameraKindsTest, MotionJpegCameraStoresDecodedPicturesAndSkipsDamagedFrames) {
    WriteSetup(1, false, kNoTimeText);
    WriteDevice("Jpeg", 640, 480);
    Start("Jpeg:mjpeg:corrupt=1");
    ASSERT_TRUE(WaitForPictures(3)) << Transcript();
    EXPECT_TRUE(process_.Running());
    StopAndExpectCleanExit();
    EXPECT_EQ(process_.CountLogLines(kPictureFailedLine), 0) << Transcript();
    EXPECT_THAT(RepeatedPictures(), IsEmpty());
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
    EXPECT_EQ(ListedPictures(DayPage(), diary_), PictureNames(diary_));
    for (const std::string& name : PictureNames(diary_)) {
        const std::optional<DecodedJpeg> picture = DecodeJpegFile((diary_ / name).string());
        ASSERT_TRUE(picture) << name;
        EXPECT_EQ(picture->width, 640);
        EXPECT_EQ(picture->height, 480);
    }
}

}  // namespace

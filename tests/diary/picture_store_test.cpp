#include "diary/picture_store.h"

#include <gtest/gtest.h>

#include "diary/jpeg_writer.h"
#include "diary/page_writers.h"
#include "frame_pictures.h"
#include "platform/stop_signal.h"
#include "settings/shared_settings.h"
#include "support/fake_clock.h"
#include "support/fake_frame_source.h"
#include "support/file_size_limit.h"
#include "support/jpeg_decode.h"
#include "support/local_time.h"
#include "support/recording_notice_sink.h"
#include "support/temp_dir.h"

namespace {

class RecordingPageWriters final : public PageWriters {
public:
    void ResetCache() override { ++resets; }
    void ForgetDayThumbnails() override { ++forgets; }
    std::vector<std::string> WritePages(const StoredPicture& picture,
                                        const DiarySettings&) override {
        stored.push_back(picture);
        return {};
    }

    int resets = 0;
    int forgets = 0;
    std::vector<StoredPicture> stored;
};

class PictureStoreTest : public ::testing::Test {
protected:
    PictureStoreTest() {
        settings.Update([&](DiarySettings& s) {
            s.SAVE_DIRECTORY = save.path().string();
            s.SHOW_TEXT = false;
        });
        source.SetPicture(RedTopBlueBottom(format, 100));
        graph.ready = true;
        clock.SetWallClock(start);
    }

    std::int32_t Store() { return store.StorePicture(stop); }
    std::filesystem::path Day() const { return save.path() / "20240315"; }
    std::tm StartTm() const {
        std::tm t{};
        localtime_r(&start, &t);
        return t;
    }

    const std::time_t start = LocalTime(2024, 3, 15, 9, 30, 5);
    TempDir save;
    FrameFormat format{320, 240};
    FakeFrameSource source{format};
    GraphState graph;
    FakeClock clock;
    SharedSettings settings;
    RecordingPageWriters pages;
    RecordingNoticeSink notices;
    StopSignal stop;
    PictureStore store{source, graph, clock, settings, pages, notices};
};

TEST_F(PictureStoreTest, StoresUprightTrueColourPictureAndHandsOverToPages) {
    ASSERT_EQ(Store(), kStoreOk);
    // The capture time is read before the grab, which takes about 1.1 s.
    const std::string path = (Day() / "20240315093005.jpg").string();
    const auto decoded = DecodeJpegFile(path);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->width, 320);
    EXPECT_EQ(decoded->height, 240);
    EXPECT_GT(decoded->At(10, 5)[0], 200);    // red at the top
    EXPECT_GT(decoded->At(10, 230)[2], 200);  // blue at the bottom

    ASSERT_EQ(pages.stored.size(), 1u);
    const StoredPicture& p = pages.stored[0];
    EXPECT_EQ(p.save_directory, save.str());
    EXPECT_EQ(p.day_name, "20240315");
    EXPECT_EQ(p.day_directory, save.str() + "20240315/");
    EXPECT_EQ(p.file_name, "20240315093005.jpg");
    EXPECT_EQ(p.width, 320);
    EXPECT_FALSE(p.day_directory_existed);
    EXPECT_TRUE(p.calendar_rebuild);
    EXPECT_EQ(pages.forgets, 1);
    EXPECT_TRUE(notices.codes().empty());
}

// The same second again (two stores, a clock set back, the end of summer
// time) never replaces a picture: the next one takes a numbered name.
TEST_F(PictureStoreTest, SaveFolderWithOrWithoutSlashAndSameSecondKeepsEveryPicture) {
    ASSERT_EQ(Store(), kStoreOk);
    const std::string first = ReadFileBytes(Day() / "20240315093005.jpg");
    clock.SetWallClock(start);
    settings.Update([&](DiarySettings& s) { s.SAVE_DIRECTORY = save.str(); });
    ASSERT_EQ(Store(), kStoreOk);
    clock.SetWallClock(start);
    ASSERT_EQ(Store(), kStoreOk);
    ASSERT_EQ(pages.stored.size(), 3u);
    EXPECT_EQ(pages.stored[0].day_directory, pages.stored[1].day_directory);
    EXPECT_EQ(pages.stored[0].file_name, "20240315093005.jpg");
    EXPECT_EQ(pages.stored[1].file_name, "20240315093005_001.jpg");
    EXPECT_EQ(pages.stored[2].file_name, "20240315093005_002.jpg");
    EXPECT_TRUE(pages.stored[1].day_directory_existed);
    EXPECT_EQ(pages.forgets, 1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Day()), {}), 3);
    EXPECT_EQ(ReadFileBytes(Day() / "20240315093005.jpg"), first);
    EXPECT_TRUE(DecodeJpegFile((Day() / "20240315093005_002.jpg").string()).has_value());

    // All 999 repeats taken: the store fails as any failed write does.
    for (int repeat = 3; repeat <= kMaxPictureRepeat; ++repeat) {
        WriteFileBytes(Day() / PictureFileName(StartTm(), repeat), "");
    }
    clock.SetWallClock(start);
    EXPECT_EQ(Store(), kStoreFailed);
    EXPECT_EQ(notices.codes(), std::vector<int>{kNoticePictureNotStored});
    EXPECT_EQ(ReadFileBytes(Day() / "20240315093005.jpg"), first);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Day()), {}), 1000);
}

// A day folder planted as a link would take the pictures out of the save
// folder.
TEST_F(PictureStoreTest, DayFolderThatIsALinkIsNotWrittenThrough) {
    TempDir elsewhere;
    std::filesystem::create_directory_symlink(elsewhere.path(), Day());
    EXPECT_EQ(Store(), kStoreFailed);
    EXPECT_EQ(notices.codes(),
              (std::vector<int>{kNoticeDayDirectoryFailed, kNoticePictureNotStored}));
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
}

TEST_F(PictureStoreTest, CalendarRebuildFollowsDayFolderAndIndexFile) {
    std::filesystem::create_directory(Day());
    ASSERT_EQ(Store(), kStoreOk);
    EXPECT_TRUE(pages.stored.back().day_directory_existed);
    EXPECT_TRUE(pages.stored.back().calendar_rebuild);  // no index page yet
    WriteFileBytes(save.path() / "preview.html", "x");
    ASSERT_EQ(Store(), kStoreOk);
    EXPECT_FALSE(pages.stored.back().calendar_rebuild);
    settings.Update([](DiarySettings& s) { s.INDEX_CALENDAR = false; });
    std::filesystem::remove(save.path() / "preview.html");
    ASSERT_EQ(Store(), kStoreOk);
    EXPECT_FALSE(pages.stored.back().calendar_rebuild);
}

TEST_F(PictureStoreTest, MissingSaveFolderPosts256Then257AndWritesNothing) {
    settings.Update([&](DiarySettings& s) { s.SAVE_DIRECTORY = save.str() + "gone/deeper"; });
    EXPECT_EQ(Store(), kStoreFailed);
    EXPECT_EQ(notices.codes(), (std::vector<int>{256, 257}));
    EXPECT_TRUE(pages.stored.empty());
    EXPECT_TRUE(std::filesystem::is_empty(save.path()));
}

TEST_F(PictureStoreTest, WriteFailurePosts257LeavesNoPartialFileAndNoPages) {
    settings.Update([](DiarySettings& s) { s.JPEG_QUALITY = 100; });
    std::vector<std::uint8_t> noise(format.SizeBytes());
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 13);
    source.SetPicture(noise);  // noise compresses badly
    std::int32_t result = 0;
    {
        FileSizeLimit limit(2000);
        result = Store();
    }

    EXPECT_EQ(result, kStoreFailed);
    EXPECT_EQ(notices.codes(), (std::vector<int>{257}));
    EXPECT_TRUE(pages.stored.empty());
    EXPECT_TRUE(std::filesystem::is_empty(Day()));
}

TEST_F(PictureStoreTest, GraphNotReadyFailsSilentlyWithoutGrabbing) {
    graph.ready = false;
    EXPECT_EQ(Store(), kStoreFailed);
    EXPECT_EQ(source.copies(), 0);
    EXPECT_TRUE(notices.codes().empty());
    EXPECT_FALSE(std::filesystem::exists(Day()));
}

TEST_F(PictureStoreTest, PagesChangedFlagResetsCacheOnce) {
    store.MarkPagesChanged();
    ASSERT_EQ(Store(), kStoreOk);
    ASSERT_EQ(Store(), kStoreOk);
    EXPECT_EQ(pages.resets, 1);
}

// A stop that ends the wait before any frame reached the surface leaves only
// black there: nothing is stored and nothing is reported. A stop after a
// copy, even of an unchanged frame, stores that frame.
TEST_F(PictureStoreTest, StopDuringGrabStoresOnlyAFrameThatWasCopied) {
    source.SetMode(FakeFrameSource::Mode::kCopyFails);
    source.OnCopy([&](int n) {
        if (n == 2) stop.Request();
    });
    EXPECT_EQ(Store(), kStoreFailed);
    EXPECT_TRUE(notices.codes().empty());
    EXPECT_TRUE(pages.stored.empty());
    EXPECT_FALSE(std::filesystem::exists(Day()));

    stop.Clear();
    source.SetMode(FakeFrameSource::Mode::kStill);
    source.OnCopy([&](int n) {
        if (n == 4) stop.Request();
    });
    ASSERT_EQ(Store(), kStoreOk);
    ASSERT_EQ(pages.stored.size(), 1u);
    const auto decoded = DecodeJpegFile((Day() / pages.stored[0].file_name).string());
    ASSERT_TRUE(decoded.has_value());
    EXPECT_GT(decoded->At(100, 20)[0], 200);  // the red top of the frame
    EXPECT_TRUE(notices.codes().empty());
}

TEST_F(PictureStoreTest, DeadCameraIsReportedAfterBoundedRecoveries) {
    source.SetMode(FakeFrameSource::Mode::kStill);
    EXPECT_EQ(Store(), kStoreFailed);
    EXPECT_EQ(source.rebuilds(), kMaxGrabRecoveries);
    EXPECT_EQ(notices.codes(), (std::vector<int>{257}));
    EXPECT_FALSE(std::filesystem::exists(Day()));
}

TEST_F(PictureStoreTest, TimeTextLandsUprightAtTheTopOnlyWhenShown) {
    const std::string path = (Day() / "20240315093005.jpg").string();
    int last_copy = 0;
    source.OnCopy([&](int n) { last_copy = n; });
    ASSERT_EQ(Store(), kStoreOk);  // SHOW_TEXT off
    // The stored frame is the grabbed one byte for byte (the moving source
    // marks its first byte with the copy number).
    std::vector<std::uint8_t> grabbed = RedTopBlueBottom(format, 100);
    grabbed[0] = static_cast<std::uint8_t>(last_copy);
    const std::string untouched = (save.path() / "untouched.jpg").string();
    ASSERT_TRUE(WriteJpegFile(untouched, format, grabbed.data(), 80));
    EXPECT_EQ(ReadFileBytes(path), ReadFileBytes(untouched));

    settings.Update([](DiarySettings& s) {
        s.SHOW_TEXT = true;
        s.FONT_SIZE = 20;
    });
    clock.SetWallClock(start);
    ASSERT_EQ(Store(), kStoreOk);
    const auto decoded = DecodeJpegFile((Day() / pages.stored.back().file_name).string());
    ASSERT_TRUE(decoded.has_value());
    auto white_pixels = [&](int top, int bottom) {
        int count = 0;
        for (int y = top; y < bottom; ++y) {
            for (int x = 0; x < decoded->width; ++x) {
                const std::uint8_t* p = decoded->At(x, y);
                if (p[0] > 200 && p[1] > 200 && p[2] > 200) ++count;
            }
        }
        return count;
    };
    EXPECT_GT(white_pixels(5, 25), 100);
    EXPECT_EQ(white_pixels(30, decoded->height), 0);
}

}  // namespace

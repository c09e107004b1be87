// MakeDayVideo on pictures of a known look: what becomes a frame, in which
// order and size; what a stop, a failure or a link leaves behind.
#include "timelapse/day_video.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/stop_signal.h"
#include "support/temp_dir.h"
#include "support/test_video.h"

namespace {

namespace fs = std::filesystem;
using Result = DayVideoOutcome::Result;

class DayVideoTest : public ::testing::Test {
protected:
    std::string Picture(const std::string& name, const std::string& bytes) {
        WriteFileBytes(dir_.path() / name, bytes);
        return (dir_.path() / name).string();
    }
    DayVideoOutcome Make(const std::vector<std::string>& pictures, int fps = 25) {
        return MakeDayVideo(pictures, temporary_, video_, fps, stop_);
    }
    std::vector<std::string> Left() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_.path()))
            if (entry.path().extension() != ".jpg") names.push_back(entry.path().filename());
        return names;
    }

    TempDir dir_;
    std::string temporary_ = dir_.str() + "20240105.webm.tmp";
    std::string video_ = dir_.str() + "20240105.webm";
    StopSignal stop_;
};

// Every kind of JPEG a camera or a user may leave becomes one frame of the
// first picture's size, in the given order; a cut-off one is skipped.
TEST_F(DayVideoTest, EveryDecodablePictureIsOneFrameInOrderAtTheFirstSize) {
    struct Shot {
        int width, height;
        TestJpegKind kind;
    };
    const std::vector<Shot> shots = {
        {320, 240, TestJpegKind::kYuv420}, {640, 480, TestJpegKind::kYuv420},
        {321, 243, TestJpegKind::kYuv420}, {320, 240, TestJpegKind::kYuv444},
        {320, 240, TestJpegKind::kGray},   {320, 240, TestJpegKind::kRgb},
        {640, 360, TestJpegKind::kYuv420}, {320, 240, TestJpegKind::kYuv420},
    };
    std::vector<std::string> pictures;
    std::vector<int> levels;
    for (std::size_t i = 0; i < shots.size(); ++i) {
        const int level = 40 + 20 * static_cast<int>(i);
        pictures.push_back(Picture("p" + std::to_string(i) + ".jpg",
                                   TestJpegBytes(shots[i].width, shots[i].height, level,
                                                 static_cast<int>(i), shots[i].kind)));
        levels.push_back(level);
        if (i == 3) {
            const std::string whole = TestJpegBytes(320, 240, 250, 0);
            pictures.push_back(Picture("cut.jpg", whole.substr(0, whole.size() / 2)));
            pictures.push_back(Picture("empty.jpg", ""));
        }
    }
    pictures.push_back(dir_.str() + "gone.jpg");

    const DayVideoOutcome made = Make(pictures, 10);
    ASSERT_EQ(made.result, Result::kMade) << made.error;
    EXPECT_EQ(made.frames, static_cast<int>(shots.size()));
    EXPECT_EQ(made.skipped, 3);
    EXPECT_EQ(std::tie(made.width, made.height), std::tie(shots[0].width, shots[0].height));
    EXPECT_EQ(made.bytes, fs::file_size(video_));
    EXPECT_EQ(Left(), std::vector<std::string>{"20240105.webm"});

    const DecodedVideo video = DecodeVideoFile(video_);
    ASSERT_EQ(video.error, "");
    EXPECT_EQ(video.frames, made.frames);
    EXPECT_EQ(std::tie(video.width, video.height, video.fps_n, video.fps_d),
              std::make_tuple(320, 240, 10, 1));
    EXPECT_EQ(video.duration_ns, 800'000'000u);
    ASSERT_EQ(video.bottom_luma.size(), levels.size());
    for (std::size_t i = 0; i < levels.size(); ++i) {
        // 640x360 is bordered: its bottom half is part black.
        if (shots[i].height == 360) continue;
        EXPECT_NEAR(video.bottom_luma[i], VideoLumaOf(levels[i]), 1.5) << "frame " << i;
    }
}

TEST_F(DayVideoTest, NothingIsLeftWhenNothingDecodesOrTheVideoIsThereOrTheTemporaryIsALink) {
    const std::string broken = Picture("a.jpg", "not a picture");
    const DayVideoOutcome none = Make({broken, broken});
    EXPECT_EQ(none.result, Result::kNothingDecoded);
    EXPECT_EQ(none.skipped, 2);
    EXPECT_TRUE(Left().empty());

    const std::string good = Picture("b.jpg", TestJpegBytes(64, 48, 100, 0));
    WriteFileBytes(video_, "made by someone");
    EXPECT_EQ(Make({good}).result, Result::kFailed);
    EXPECT_EQ(ReadFileBytes(video_), "made by someone");
    EXPECT_EQ(Left(), std::vector<std::string>{"20240105.webm"});
    fs::remove(video_);

    TempDir elsewhere;
    WriteFileBytes(elsewhere.path() / "target", "kept");
    fs::create_symlink(elsewhere.path() / "target", temporary_);
    const DayVideoOutcome linked = Make({good});
    EXPECT_EQ(linked.result, Result::kFailed);
    EXPECT_NE(linked.error, "");
    EXPECT_EQ(ReadFileBytes(elsewhere.path() / "target"), "kept");
    EXPECT_FALSE(fs::exists(video_));
    fs::remove(temporary_);

    // A leftover of a killed attempt is replaced.
    WriteFileBytes(temporary_, "cut off");
    EXPECT_EQ(Make({good}).result, Result::kMade);
    EXPECT_EQ(Left(), std::vector<std::string>{"20240105.webm"});
}

// The stop is seen between pictures: a picture that is a pipe holds the
// encoding at a known place until the test has set the stop.
TEST_F(DayVideoTest, AStopDuringTheEncodingLeavesNoFile) {
    std::vector<std::string> pictures;
    for (int i = 0; i < 3; ++i)
        pictures.push_back(Picture("p" + std::to_string(i) + ".jpg", TestJpegBytes(64, 48, 90, i)));
    const std::string pipe = dir_.str() + "pipe.jpg";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    pictures.push_back(pipe);
    pictures.push_back(pictures[0]);

    DayVideoOutcome outcome;
    std::atomic<bool> done{false};
    std::thread maker([&] {
        outcome = Make(pictures);
        done = true;
    });
    // The encoder has begun the file and waits for the pipe's picture.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(temporary_) && !done && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(fs::exists(temporary_));
    stop_.Request();
    const std::string last = TestJpegBytes(64, 48, 90, 3);
    while (!done) {
        const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            EXPECT_EQ(::write(fd, last.data(), last.size()), static_cast<ssize_t>(last.size()));
            ::close(fd);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    maker.join();
    EXPECT_EQ(outcome.result, Result::kStopped);
    fs::remove(pipe);
    EXPECT_TRUE(Left().empty());
}

}  // namespace

#include "diary/jpeg_writer.h"

#include <gtest/gtest.h>

#include "frame_pictures.h"
#include "support/file_size_limit.h"
#include "support/jpeg_decode.h"
#include "support/temp_dir.h"

namespace {

bool IsRed(const std::uint8_t* p) { return p[0] > 200 && p[1] < 60 && p[2] < 60; }
bool IsBlue(const std::uint8_t* p) { return p[0] < 60 && p[1] < 60 && p[2] > 200; }

TEST(WriteJpegFile, TrueColoursTopRowOnTopAndPaddedStride) {
    TempDir dir;
    const FrameFormat format{322, 40};  // stride 968: rows are padded
    const auto frame = RedTopBlueBottom(format, 16);
    const std::string path = dir.str() + "a.jpg";
    ASSERT_TRUE(WriteJpegFile(path, format, frame.data(), 90));
    const auto decoded = DecodeJpegFile(path);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->width, 322);
    EXPECT_EQ(decoded->height, 40);
    for (int x : {0, 160, 321}) {
        EXPECT_TRUE(IsRed(decoded->At(x, 2))) << x;
        EXPECT_TRUE(IsBlue(decoded->At(x, 37))) << x;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(WriteJpegFile, QualityChangesSizeAndZeroIsAccepted) {
    TempDir dir;
    const FrameFormat format{64, 64};
    std::vector<std::uint8_t> frame(format.SizeBytes());
    for (std::size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<std::uint8_t>(i * 31 + (i >> 7));
    ASSERT_TRUE(WriteJpegFile(dir.str() + "q0.jpg", format, frame.data(), 0));
    ASSERT_TRUE(WriteJpegFile(dir.str() + "q100.jpg", format, frame.data(), 100));
    EXPECT_LT(std::filesystem::file_size(dir.path() / "q0.jpg"),
              std::filesystem::file_size(dir.path() / "q100.jpg"));
    EXPECT_TRUE(DecodeJpegFile(dir.str() + "q0.jpg").has_value());
}

TEST(WriteJpegFile, UnopenablePathFailsAndLeavesNothing) {
    TempDir dir;
    const FrameFormat format{8, 8};
    std::vector<std::uint8_t> frame(format.SizeBytes(), 128);
    EXPECT_FALSE(WriteJpegFile(dir.str() + "missing/a.jpg", format, frame.data(), 80));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(WriteJpegFile, WriteFailureMidFileLeavesNoPartialPicture) {
    TempDir dir;
    const FrameFormat format{640, 480};
    std::vector<std::uint8_t> frame(format.SizeBytes());
    for (std::size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<std::uint8_t>(i * 7 + i / 1000);
    const std::string path = dir.str() + "full.jpg";
    WriteFileBytes(path, "previous");
    {
        FileSizeLimit limit(6000);
        EXPECT_FALSE(WriteJpegFile(path, format, frame.data(), 95));
    }
    EXPECT_EQ(ReadFileBytes(path), "previous");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace

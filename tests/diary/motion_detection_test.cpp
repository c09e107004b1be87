#include "diary/motion_detection.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "capture/frame_format.h"

namespace {

using Frame = std::vector<std::uint8_t>;

Frame Filled(std::size_t size, std::uint8_t value) { return Frame(size, value); }

class MotionTest : public ::testing::Test {
protected:
    // Measures `before` (filling the reference), then `after`.
    std::optional<int> Score(const Frame& before, const Frame& after) {
        reference->Clear();
        EXPECT_FALSE(MeasureMotion(before.data(), before.size(), *reference).has_value());
        return MeasureMotion(after.data(), after.size(), *reference);
    }

    std::unique_ptr<MotionReference> reference = std::make_unique<MotionReference>();
    const std::size_t qvga = FrameFormat{320, 240}.SizeBytes();  // stride 4
};

TEST_F(MotionTest, FirstMeasurementOnlyFillsTheReference) {
    static_assert(kMotionReferenceBytes == 57600 && kMotionSamples == 19200 &&
                  kMaxMotionScore == 384);
    EXPECT_TRUE(reference->empty);
    const Frame a = Filled(qvga, 0);
    EXPECT_FALSE(MeasureMotion(a.data(), a.size(), *reference).has_value());
    EXPECT_FALSE(reference->empty);
    EXPECT_EQ(MeasureMotion(a.data(), a.size(), *reference), 0);
    reference->Clear();
    EXPECT_FALSE(MeasureMotion(Filled(qvga, 255).data(), qvga, *reference).has_value());
}

TEST_F(MotionTest, ThresholdIsElevenInAllThreeChannels) {
    EXPECT_EQ(Score(Filled(qvga, 120), Filled(qvga, 120)), 0);
    EXPECT_EQ(Score(Filled(qvga, 120), Filled(qvga, 130)), 0);
    EXPECT_EQ(Score(Filled(qvga, 120), Filled(qvga, 131)), 384);
    EXPECT_EQ(Score(Filled(qvga, 131), Filled(qvga, 120)), 384);
    EXPECT_EQ(Score(Filled(qvga, 0), Filled(qvga, 255)), 384);
    EXPECT_EQ(Score(Filled(qvga, 255), Filled(qvga, 0)), 384);

    // One or two channels moving is no motion, whichever they are.
    for (int still = 0; still < 3; ++still) {
        Frame moved = Filled(qvga, 100);
        for (std::size_t i = 0; i < moved.size(); ++i) {
            if (static_cast<int>(i % 3) != still) moved[i] = 150;
        }
        EXPECT_EQ(Score(Filled(qvga, 100), moved), 0) << "still channel " << still;
    }
}

TEST_F(MotionTest, ScoreIsChangedSamplesOverFifty) {
    // 320x240: sample i is pixel 4i.
    for (auto [changed, score] :
         {std::pair{2549, 50}, {2550, 51}, {49, 0}, {50, 1}, {19199, 383}}) {
        Frame after = Filled(qvga, 0);
        for (int i = 0; i < changed; ++i) {
            for (int c = 0; c < 3; ++c) after[static_cast<std::size_t>(i) * 12 + c] = 200;
        }
        EXPECT_EQ(Score(Filled(qvga, 0), after), score) << changed;
    }
    // Pixels between the samples are not looked at.
    Frame between = Filled(qvga, 0);
    for (std::size_t p = 0; p < qvga / 3; ++p) {
        if (p % 4 != 0) between[p * 3] = between[p * 3 + 1] = between[p * 3 + 2] = 255;
    }
    EXPECT_EQ(Score(Filled(qvga, 0), between), 0);
}

TEST_F(MotionTest, SamplesCoverTheFrameFromItsStartWithTheSizeStride) {
    // 352x288: stride 5, the samples cover the first 96000 of 101376 pixels.
    const std::size_t cif = FrameFormat{352, 288}.SizeBytes();
    Frame tail = Filled(cif, 0);
    for (std::size_t i = 96000 * 3; i < cif; ++i) tail[i] = 255;
    EXPECT_EQ(Score(Filled(cif, 0), tail), 0);
    Frame samples = Filled(cif, 0);
    for (std::size_t p = 0; p < 96000; p += 5)
        samples[p * 3] = samples[p * 3 + 1] = samples[p * 3 + 2] = 255;
    EXPECT_EQ(Score(Filled(cif, 0), samples), 384);
    Frame off_sample = Filled(cif, 0);
    for (std::size_t p = 1; p < 96000; p += 5)
        off_sample[p * 3] = off_sample[p * 3 + 1] = off_sample[p * 3 + 2] = 255;
    EXPECT_EQ(Score(Filled(cif, 0), off_sample), 0);

    // 1280x720: stride 48.
    const std::size_t hd = FrameFormat{1280, 720}.SizeBytes();
    Frame hd_samples = Filled(hd, 0);
    for (std::size_t p = 0; p < 19200 * 48; p += 48)
        hd_samples[p * 3] = hd_samples[p * 3 + 1] = hd_samples[p * 3 + 2] = 255;
    EXPECT_EQ(Score(Filled(hd, 0), hd_samples), 384);
}

TEST_F(MotionTest, EveryMeasurementRefreshesTheReference) {
    const Frame a = Filled(qvga, 0);
    const Frame b = Filled(qvga, 200);
    EXPECT_EQ(Score(a, b), 384);
    EXPECT_EQ(MeasureMotion(b.data(), b.size(), *reference), 0);
    EXPECT_EQ(MeasureMotion(a.data(), a.size(), *reference), 384);
}

TEST_F(MotionTest, SmallFramesStayInBoundsAndScoreTheSameShare) {
    // 80x60: 4800 pixels, stride 1. Exact-size buffers let the sanitizer see
    // any read past the end.
    const std::size_t small = FrameFormat{80, 60}.SizeBytes();
    EXPECT_EQ(Score(Filled(small, 0), Filled(small, 255)), 384);
    Frame half = Filled(small, 0);
    std::fill(half.begin(), half.begin() + static_cast<std::ptrdiff_t>(small / 2), 255);
    EXPECT_EQ(Score(Filled(small, 0), half), 192);
    // 638 of 4800 samples scale to 2552 of 19200 (51), 637 to 2548 (50).
    Frame share = Filled(small, 0);
    std::fill(share.begin(), share.begin() + 638 * 3, 255);  // 638 of 4800 pixels
    EXPECT_EQ(Score(Filled(small, 0), share), 51);
    std::fill(share.begin(), share.end(), 0);
    std::fill(share.begin(), share.begin() + 637 * 3, 255);
    EXPECT_EQ(Score(Filled(small, 0), share), 50);

    // A size that is no multiple of 3: the partial pixel is not read.
    EXPECT_EQ(Score(Filled(1001, 0), Filled(1001, 255)), 384);
    EXPECT_EQ(Score(Filled(2, 0), Filled(2, 255)), 0);
    EXPECT_EQ(Score(Frame{}, Frame{}), 0);
    // Just under the reference size: stride 1 and all but one sample.
    const std::size_t under = kMotionReferenceBytes - 3;
    EXPECT_EQ(Score(Filled(under, 0), Filled(under, 255)), 384);
}

}  // namespace

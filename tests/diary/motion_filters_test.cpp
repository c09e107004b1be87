#include "diary/motion_filters.h"

#include <gtest/gtest.h>

#include <vector>

#include "capture/frame_format.h"

namespace {

using Light = LightSwitchFilter::Light;

std::vector<std::uint8_t> Grey(std::uint8_t level) {
    return std::vector<std::uint8_t>(FrameFormat{320, 240}.SizeBytes(), level);
}

std::vector<Light> Looks(LightSwitchFilter& filter, const std::vector<std::uint8_t>& levels) {
    std::vector<Light> looks;
    for (const std::uint8_t level : levels) {
        const auto frame = Grey(level);
        looks.push_back(filter.Look(frame.data(), frame.size()));
    }
    return looks;
}

TEST(LightSwitchFilter, AJumpAndTheNextFewAreNoMotionThenItIsSteadyAgain) {
    LightSwitchFilter filter(30);
    // 100 to 140 is 40 %, beyond 30; 140 to 160 about 14 %, within it.
    EXPECT_EQ(
        Looks(filter, {100, 100, 140, 160, 160, 160, 160, 170}),
        (std::vector<Light>{Light::kSteady, Light::kSteady, Light::kJumped, Light::kSettling,
                            Light::kSettling, Light::kSettling, Light::kSteady, Light::kSteady}));
    // Lights out from there; in the dark a few levels of noise are no jump,
    // a lamp is.
    EXPECT_EQ(
        Looks(filter, {0, 0, 0, 0, 3, 0, 60}),
        (std::vector<Light>{Light::kJumped, Light::kSettling, Light::kSettling, Light::kSettling,
                            Light::kSteady, Light::kSteady, Light::kJumped}));
    LightSwitchFilter off(0);
    EXPECT_EQ(Looks(off, {100, 0, 255}),
              (std::vector<Light>{Light::kSteady, Light::kSteady, Light::kSteady}));
}

TEST(LightSwitchFilter, BrightnessIsTheMeanOfTheSamplesWithGreenWeighingMost) {
    auto frame = Grey(0);
    for (std::size_t i = 1; i < frame.size(); i += 3) frame[i] = 200;  // G of B, G, R
    EXPECT_EQ(SampleBrightness(frame.data(), frame.size()), 100);
    EXPECT_EQ(SampleBrightness(frame.data(), 0), 0);
}

TEST(LastingMotion, OnlyARunOfMeasurementsAboveTheLevelCountsAndAPictureStartsAfresh) {
    LastingMotion three(3);
    std::vector<bool> said;
    for (const bool above : {true, true, false, true, true, true, true})
        said.push_back(three.Count(above));
    EXPECT_EQ(said, (std::vector<bool>{false, false, false, false, false, true, true}));
    three.Stored();
    EXPECT_FALSE(three.Count(true));
    LastingMotion one(1);  // as the diary always scored
    EXPECT_TRUE(one.Count(true));
    EXPECT_FALSE(one.Count(false));
    EXPECT_TRUE(LastingMotion(0).Count(true)) << "below 1 is 1";
}

}  // namespace

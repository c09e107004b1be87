#pragma once

#include <cstddef>
#include <cstdint>

// Mean brightness (0 to 255) of the frame's motion sample pixels: the same
// pixels the motion score compares, so it costs one more pass over them.
int SampleBrightness(const std::uint8_t* frame, std::size_t frame_size);

// Tells a light change (a lamp, the sun from behind a cloud, a camera going
// to infrared) from motion: when the mean brightness jumps by more than
// `percent` of the last measurement's (at least of 16 levels), that measurement and the next
// kSettleMeasurements are no motion, while the camera's exposure follows.
class LightSwitchFilter {
public:
    static constexpr int kSettleMeasurements = 3;
    static constexpr int kLeastBrightness = 16;
    enum class Light { kSteady, kJumped, kSettling };

    explicit LightSwitchFilter(int percent) : percent_(percent) {}
    bool On() const { return percent_ > 0; }
    // One measurement's frame. kJumped: the motion reference should start
    // afresh from this frame.
    Light Look(const std::uint8_t* frame, std::size_t frame_size);

private:
    int percent_;
    int last_ = -1;
    int settling_ = 0;
};

// Motion that lasts: a picture only after `frames` measurements in a row
// above the level (1: every one above it).
class LastingMotion {
public:
    explicit LastingMotion(int frames) : frames_(frames < 1 ? 1 : frames) {}
    // One measurement; true while the run above the level is long enough.
    bool Count(bool above) {
        run_ = above ? run_ + 1 : 0;
        return run_ >= frames_;
    }
    void Stored() { run_ = 0; }

private:
    int frames_;
    int run_ = 0;
};

// MeasureMotion against one plain pass over the same 19200 samples (the
// floor): the samples are read from the frame and the reference and copied.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "capture/frame_format.h"
#include "diary/motion_detection.h"

namespace {

std::vector<std::uint8_t> Scene(std::size_t size, unsigned seed) {
    std::vector<std::uint8_t> frame(size);
    unsigned x = seed;
    for (auto& b : frame) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return frame;
}

void BM_MeasureMotion(benchmark::State& state) {
    const FrameFormat f{static_cast<int>(state.range(0)), static_cast<int>(state.range(1))};
    const auto a = Scene(f.SizeBytes(), 1);
    const auto b = Scene(f.SizeBytes(), 2);
    auto reference = std::make_unique<MotionReference>();
    MeasureMotion(a.data(), a.size(), *reference);
    bool flip = false;
    for (auto _ : state) {
        const auto& frame = flip ? a : b;
        flip = !flip;
        benchmark::DoNotOptimize(MeasureMotion(frame.data(), frame.size(), *reference));
    }
}

void BM_MeasureMotion_Floor(benchmark::State& state) {
    const FrameFormat f{static_cast<int>(state.range(0)), static_cast<int>(state.range(1))};
    const auto a = Scene(f.SizeBytes(), 1);
    const auto b = Scene(f.SizeBytes(), 2);
    auto reference = std::make_unique<MotionReference>();
    const std::size_t stride = std::max<std::size_t>(1, f.SizeBytes() / kMotionReferenceBytes);
    bool flip = false;
    for (auto _ : state) {
        const std::uint8_t* frame = (flip ? a : b).data();
        flip = !flip;
        std::uint8_t* ref = reference->bytes.data();
        unsigned sum = 0;
        for (std::size_t i = 0; i < kMotionSamples; ++i) {
            const std::uint8_t* p = frame + 3 * i * stride;
            std::uint8_t* r = ref + 3 * i;
            sum += r[0] ^ p[0];
            r[0] = p[0];
            r[1] = p[1];
            r[2] = p[2];
        }
        benchmark::DoNotOptimize(sum);
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(BM_MeasureMotion_Floor)->Args({320, 240})->Args({1280, 720});
BENCHMARK(BM_MeasureMotion)->Args({320, 240})->Args({1280, 720});
BENCHMARK_MAIN();

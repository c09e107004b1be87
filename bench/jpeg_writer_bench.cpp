// WriteJpegFile against a bare libjpeg-turbo encode of the same buffer into a
// file (the floor).
#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "diary/jpeg_writer.h"

namespace {

std::vector<std::uint8_t> Scene(const FrameFormat& f) {
    std::vector<std::uint8_t> frame(f.SizeBytes());
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x < f.width; ++x) {
            std::uint8_t* p = frame.data() + y * f.Stride() + x * 3;
            p[0] = static_cast<std::uint8_t>(x + y);
            p[1] = static_cast<std::uint8_t>((x * y) >> 6);
            p[2] = static_cast<std::uint8_t>(255 - y);
        }
    }
    return frame;
}

std::string OutputPath() {
    return (std::filesystem::temp_directory_path() / "quillomat-bench.jpg").string();
}

void BareEncode(const std::string& path, const FrameFormat& f, const std::uint8_t* pixels,
                int quality) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = f.width;
    cinfo.image_height = f.height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, FALSE);
    jpeg_start_compress(&cinfo, TRUE);
    const std::uint8_t* row = pixels + (f.height - 1) * f.Stride();
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW rows[1] = {const_cast<JSAMPROW>(row)};
        jpeg_write_scanlines(&cinfo, rows, 1);
        row -= f.Stride();
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
}

// Each picture of a diary is a new file, so both sides write a new file per
// iteration and remove it afterwards.
void BM_WriteJpegFile(benchmark::State& state) {
    const FrameFormat f{static_cast<int>(state.range(0)), static_cast<int>(state.range(1))};
    const auto frame = Scene(f);
    const std::string path = OutputPath();
    for (auto _ : state) {
        benchmark::DoNotOptimize(WriteJpegFile(path, f, frame.data(), 80));
        std::remove(path.c_str());
    }
}

void BM_WriteJpegFile_Floor(benchmark::State& state) {
    const FrameFormat f{static_cast<int>(state.range(0)), static_cast<int>(state.range(1))};
    const auto frame = Scene(f);
    const std::string path = OutputPath();
    for (auto _ : state) {
        BareEncode(path, f, frame.data(), 80);
        std::remove(path.c_str());
    }
}

}  // namespace

BENCHMARK(BM_WriteJpegFile_Floor)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteJpegFile)->Args({640, 480})->Args({1280, 720})->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

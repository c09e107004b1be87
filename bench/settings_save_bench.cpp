// SaveSettings on a setup.ini that holds a 2 MB line, against reading the
// same file and writing its bytes back unchanged (the floor: the file's own
// input and output, flushes included).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/atomic_file.h"
#include "settings/diary_settings.h"
#include "settings/settings_io.h"

namespace {

namespace fs = std::filesystem;

class Home {
public:
    Home() {
        std::string pattern = (fs::temp_directory_path() / "quillomat-save-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        root_ = pattern;
        // A hand-edited file: the long line sits in the section with most keys.
        std::ofstream setup(Setup(), std::ios::binary);
        setup << "[APPLICATION]\r\nJPEG_QUALITY=80\r\n[HTML]\r\nPREVIEW_CREATE=on\r\n"
              << std::string(2 * 1024 * 1024, 'x') << "\r\nINDEX_CREATE=on\r\n[TIMETEXT]\r\n";
    }
    ~Home() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    fs::path Setup() const { return root_ / "setup.ini"; }
    fs::path Device() const { return root_ / "device.ini"; }

private:
    fs::path root_;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void BM_SaveSettingsWithLongLine(benchmark::State& state) {
    const Home home;
    const DiarySettings settings;
    for (auto _ : state) SaveSettingsTo(settings, home.Device(), home.Setup());
    state.counters["setup_MB"] = static_cast<double>(fs::file_size(home.Setup())) / 1e6;
}
BENCHMARK(BM_SaveSettingsWithLongLine)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveSettingsWithLongLine_Floor(benchmark::State& state) {
    const Home home;
    SaveSettingsTo(DiarySettings(), home.Device(), home.Setup());
    for (auto _ : state) {
        benchmark::DoNotOptimize(WriteFileAtomically(home.Device(), ReadAll(home.Device())));
        benchmark::DoNotOptimize(WriteFileAtomically(home.Setup(), ReadAll(home.Setup())));
    }
}
BENCHMARK(BM_SaveSettingsWithLongLine_Floor)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

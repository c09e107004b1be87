// The page work of a store on a diary of ten years: 3650 day folders of 100
// pictures each.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "diary/page_writers.h"
#include "log/diary_notice.h"
#include "platform/atomic_file.h"
#include "settings/diary_settings.h"
#include "web/web_pages.h"

namespace {

namespace fs = std::filesystem;

constexpr int kDays = 3650;
constexpr int kPicturesPerDay = 100;

class NullNotices final : public NoticeSink {
public:
    void Post(int) override { ++count; }
    int count = 0;
};

// Made once per run (empty picture files are enough for the pages) and
// removed at exit.
class Diary {
public:
    Diary() {
        std::string pattern = (fs::temp_directory_path() / "quillomat-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        root_ = pattern;
        save_ = root_.string() + "/";
        std::time_t day = 1388577600;  // 2014-01-01 12:00 UTC
        for (int d = 0; d < kDays; ++d, day += 86400) {
            std::tm t{};
            gmtime_r(&day, &t);
            char name[48];
            std::snprintf(name, sizeof name, "%04d%02d%02d", t.tm_year + 1900, t.tm_mon + 1,
                          t.tm_mday);
            fs::create_directory(save_ + name);
            for (int i = 0; i < kPicturesPerDay; ++i) {
                char file[96];
                std::snprintf(file, sizeof file, "%s/%s%02d%02d00.jpg", name, name, 6 + i / 6,
                              (i % 6) * 10);
                const int fd = ::open((save_ + file).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (fd < 0) std::abort();
                ::close(fd);
            }
            last_ = t;
            last_name_ = name;
        }
    }
    ~Diary() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // A store of the newest picture of the newest day, its folder already there.
    StoredPicture Picture() const {
        StoredPicture p;
        p.capture_time = last_;
        p.capture_time.tm_hour = 6 + (kPicturesPerDay - 1) / 6;
        p.capture_time.tm_min = ((kPicturesPerDay - 1) % 6) * 10;
        p.save_directory = save_;
        p.day_name = last_name_;
        p.day_directory = save_ + last_name_ + "/";
        char file[96];
        std::snprintf(file, sizeof file, "%s%02d%02d00.jpg", last_name_.c_str(),
                      p.capture_time.tm_hour, p.capture_time.tm_min);
        p.file_name = file;
        p.width = 640;
        p.height = 480;
        p.calendar_rebuild = false;
        p.day_directory_existed = true;
        return p;
    }

private:
    fs::path root_;
    std::string save_;
    std::tm last_{};
    std::string last_name_;
};

const Diary& TheDiary() {
    static const Diary diary;
    return diary;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void BM_PageWork(benchmark::State& state) {
    const StoredPicture picture = TheDiary().Picture();
    const DiarySettings settings;
    NullNotices notices;
    WebPages pages(notices);
    pages.WritePages(picture, settings);  // warms every cache
    for (auto _ : state) pages.WritePages(picture, settings);
    if (notices.count != 0) state.SkipWithError("a page was not written");
    state.counters["day_kB"] =
        static_cast<double>(ReadAll(picture.day_directory + settings.PREVIEW_HTML).size()) / 1e3;
    state.counters["index_kB"] =
        static_cast<double>(ReadAll(picture.save_directory + settings.INDEX_HTML).size()) / 1e3;
}
BENCHMARK(BM_PageWork)->Unit(benchmark::kMicrosecond);

// Writing the same two pages' bytes with no generation at all.
void BM_PageWork_Floor(benchmark::State& state) {
    const StoredPicture picture = TheDiary().Picture();
    const DiarySettings settings;
    NullNotices notices;
    WebPages pages(notices);
    pages.WritePages(picture, settings);
    const std::string day_path = picture.day_directory + settings.PREVIEW_HTML;
    const std::string index_path = picture.save_directory + settings.INDEX_HTML;
    const std::string day = ReadAll(day_path);
    const std::string index = ReadAll(index_path);
    for (auto _ : state) {
        benchmark::DoNotOptimize(WriteFileAtomically(day_path, day));
        benchmark::DoNotOptimize(WriteFileAtomically(index_path, index));
    }
}
BENCHMARK(BM_PageWork_Floor)->Unit(benchmark::kMicrosecond);

// The first store after a restart: day scan, folder listing, newest pictures
// and calendar all from disk.
void BM_ColdStore(benchmark::State& state) {
    const StoredPicture picture = TheDiary().Picture();
    const DiarySettings settings;
    NullNotices notices;
    for (auto _ : state) {
        WebPages pages(notices);
        pages.WritePages(picture, settings);
        benchmark::DoNotOptimize(pages.cache().calendarHtml.size());
    }
    if (notices.count != 0) state.SkipWithError("a page was not written");
}
BENCHMARK(BM_ColdStore)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

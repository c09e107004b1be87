// Processor time of the diary worker while it waits: off the air, and on the
// air between two interval stores. Reported as percent of one core over at
// least 30 s of wall time (QUILLOMAT_BENCH_IDLE_SECONDS overrides).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "diary/diary_worker.h"
#include "log/diary_notice.h"
#include "platform/clock.h"
#include "settings/shared_settings.h"

namespace {

class StillSource final : public FrameSource {
public:
    void SetBufferSamples(bool) override {}
    bool Run() override { return true; }
    bool IsRunning(const StopSignal*) override { return true; }
    void StopWhenReady() override {}
    FrameFormat ConnectedFormat() const override { return {640, 480}; }
    bool QueryBufferSize(std::size_t& size) override {
        size = ConnectedFormat().SizeBytes();
        return true;
    }
    bool CopyCurrentBuffer(std::uint8_t*, std::size_t) override { return false; }
    bool RebuildGraph(const StopSignal&) override { return true; }
    void ReleaseGraph() override {}
};

class NoMotion final : public MotionMeter {
public:
    std::optional<int> Measure(const std::uint8_t*, std::size_t) override { return std::nullopt; }
};

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int Seconds() {
    const char* value = std::getenv("QUILLOMAT_BENCH_IDLE_SECONDS");
    return value != nullptr ? std::max(1, std::atoi(value)) : 30;
}

void MeasureIdle(benchmark::State& state, bool on_air) {
    StillSource source;
    GraphState graph;
    graph.ready = true;
    SharedSettings settings;
    settings.Update([&](DiarySettings& s) {
        s.SAVE_DIRECTORY = "/nonexistent/";
        s.ONAIR = on_air;
        s.INTERVAL_HOUR = 1;  // on the air: one store at the start, then an hour's wait
    });
    PostedNoticeSink notices;
    DiaryWorker worker({source, graph, SystemClockInstance(), settings, notices,
                        [](const StopSignal&, PictureTrigger) { return 0; },
                        [] { return std::make_unique<NoMotion>(); }});
    double cpu_percent = 0;
    for (auto _ : state) {
        worker.StartDiaryWorker();
        std::this_thread::sleep_for(std::chrono::seconds(2));  // past the start-up size query
        const double cpu_before = ProcessCpuSeconds();
        const auto wall_before = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(Seconds()));
        const double cpu = ProcessCpuSeconds() - cpu_before;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_before).count();
        worker.StopDiaryWorker();
        cpu_percent = 100.0 * cpu / wall;
    }
    state.counters["cpu_percent_of_core"] = cpu_percent;
    state.counters["cpu_s_per_min"] = cpu_percent * 60.0 / 100.0;
}

void BM_WorkerIdle_OffAir(benchmark::State& state) { MeasureIdle(state, false); }
void BM_WorkerIdle_BetweenIntervalStores(benchmark::State& state) { MeasureIdle(state, true); }

}  // namespace

BENCHMARK(BM_WorkerIdle_OffAir)
    ->Iterations(1)
    ->Repetitions(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK(BM_WorkerIdle_BetweenIntervalStores)
    ->Iterations(1)
    ->Repetitions(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK_MAIN();

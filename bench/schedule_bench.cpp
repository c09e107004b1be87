// What the recording hours cost the worker. A pass of the gate against its
// floor, reading the wall clock (which every pass with a schedule does
// anyway); target: under 1 us a pass. And what a pass would cost if it
// asked the hours afresh each time (sunrise and sunset of three days), the
// cost the gate's kept next change avoids.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>

#include "diary/schedule_gate.h"
#include "platform/clock.h"

namespace {

ScheduleSettings Hours() {
    ScheduleSettings s;
    s.HOURS = "sunrise-00:30-12:00,13:00-sunset+00:30";
    s.SAT = "09:00-17:00";
    s.LATITUDE = "52.52";
    s.LONGITUDE = "13.405";
    s.AT = "12:00,sunset";
    s.ALIGN_INTERVAL = true;
    return s;
}

void BerlinTime() {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
}

// Passes 10 ms apart, as the worker's loop makes them at the most.
void BM_GatePass(benchmark::State& state) {
    BerlinTime();
    SystemClock clock;
    std::int64_t wall = clock.WallMs();
    ScheduleGate gate(Hours(), 600000, wall);
    for (auto _ : state) {
        wall = clock.WallMs();
        benchmark::DoNotOptimize(gate.Pass(wall));
    }
}
BENCHMARK(BM_GatePass);

void BM_GatePass_Floor(benchmark::State& state) {
    SystemClock clock;
    for (auto _ : state) benchmark::DoNotOptimize(clock.WallMs());
}
BENCHMARK(BM_GatePass_Floor);

void BM_HoursAskedAfresh(benchmark::State& state) {
    BerlinTime();
    const RecordingHours hours = RecordingHours::From(Hours(), nullptr);
    const std::time_t now = std::time(nullptr);
    for (auto _ : state) benchmark::DoNotOptimize(hours.At(now));
}
BENCHMARK(BM_HoursAskedAfresh);

}  // namespace

BENCHMARK_MAIN();

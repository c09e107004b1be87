// What the MQTT link costs in processor time per published picture: a
// ~100 KB JPEG stored, read and published retained by the job until a
// client of the same broker has it, against mosquitto_pub -f of the same
// file to the same broker and topic (its floor: the smallest program that
// does the same), in the same run. The broker is the benchmark's own on
// 127.0.0.1; its time is in neither.
#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "events/diary_events.h"
#include "mqtt/mqtt_broker.h"
#include "mqtt/mqtt_discovery.h"
#include "mqtt/mqtt_link.h"
#include "mqtt/mqtt_settings.h"
#include "platform/child_process.h"
#include "platform/clock.h"
#include "platform/stop_signal.h"
#include "processor_time.h"
#include "settings/shared_settings.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kUser = "bench";
constexpr const char* kPassword = "bench-pw";
constexpr const char* kTopic = "bench/cam";

// A noisy 640x400 picture, about 100 KB as JPEG.
void WriteJpeg(const fs::path& path) {
    const int width = 640, height = 400;
    std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
    std::mt19937 random(3);
    for (std::size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = static_cast<unsigned char>((i / 3 % width + (random() & 63)) & 255);
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    FILE* file = std::fopen(path.c_str(), "wb");
    jpeg_stdio_dest(&info, file);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 80, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = rgb.data() + static_cast<std::size_t>(info.next_scanline) * width * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

// The broker, a watching client and the picture, for both benchmarks.
struct Setup {
    Setup() {
        dir = temp.path();
        picture = dir / "20240305" / "20240305090307.jpg";
        fs::create_directories(picture.parent_path());
        WriteJpeg(picture);
        broker = std::make_unique<TestBroker>(dir, kUser, kPassword);
        started = broker->Start();
        watcher = std::make_unique<TestSubscriber>(broker->port(), kUser, kPassword);
        started = started && watcher->WaitConnected();
    }
    ~Setup() {
        watcher.reset();
        broker->Stop();
    }
    // Until the watcher has had `count` pictures.
    bool WaitForPictures(int count) {
        return watcher->WaitFor(
            MqttTopicOf(kTopic, mqtt_topic::kPicture),
            [&](const TestSubscriber::Received& r) { return r.count >= count; }, 30s);
    }
    int Pictures() {
        const auto last = watcher->Last(MqttTopicOf(kTopic, mqtt_topic::kPicture));
        return last ? last->count : 0;
    }

    TempDir temp;
    fs::path dir;
    fs::path picture;
    std::unique_ptr<TestBroker> broker;
    std::unique_ptr<TestSubscriber> watcher;
    bool started = false;
};

void BM_PublishAPicture(benchmark::State& state) {
    Setup setup;
    if (!setup.started) return state.SkipWithError("no broker");
    WriteFileBytes(setup.dir / "mqtt.pw", std::string(kPassword) + "\n");
    fs::permissions(setup.dir / "mqtt.pw", fs::perms::owner_read | fs::perms::owner_write);
    SharedSettings settings;
    settings.Update([&](DiarySettings& s) {
        s.SAVE_DIRECTORY = setup.dir.string() + "/";
        MqttSettings& mqtt = s.Section<MqttSettings>();
        mqtt.HOST = "127.0.0.1";
        mqtt.PORT = setup.broker->port();
        mqtt.USER = kUser;
        mqtt.PASSWORD_FILE = "mqtt.pw";
        mqtt.TOPIC = kTopic;
    });
    DiaryEvents events;
    std::vector<std::string> lines;
    MqttLink job({.settings = settings,
                  .events = events,
                  .publish = events,
                  .clock = SystemClockInstance(),
                  .post_line = [&](const LogText& line) { lines.push_back(line.designed); },
                  .settings_directory = setup.dir.string() + "/"},
                 "bench");
    StopSignal stop;
    job.Begin(stop);
    if (!setup.watcher->WaitForPayload(MqttTopicOf(kTopic, mqtt_topic::kAvailability), "online"))
        return state.SkipWithError("the link did not connect");
    PictureStored stored;
    stored.path = setup.picture.string();
    stored.save_directory = setup.dir.string() + "/";
    stored.day_name = "20240305";
    stored.file_name = setup.picture.filename().string();
    for (auto _ : state) {
        const int before = setup.Pictures();
        const double start = ProcessorSeconds();
        job.Handle(stored, stop);
        if (!setup.WaitForPictures(before + 1)) return state.SkipWithError("no picture came");
        state.SetIterationTime(ProcessorSeconds() - start);
    }
    job.End(stop);
    state.counters["bytes"] = static_cast<double>(fs::file_size(setup.picture));
}

void BM_PublishAPicture_Floor(benchmark::State& state) {
    Setup setup;
    if (!setup.started) return state.SkipWithError("no broker");
    const std::string program = FindOnPath("mosquitto_pub");
    const std::vector<std::string> argv = {program,
                                           "-h",
                                           "127.0.0.1",
                                           "-p",
                                           std::to_string(setup.broker->port()),
                                           "-u",
                                           kUser,
                                           "-P",
                                           kPassword,
                                           "-r",
                                           "-t",
                                           MqttTopicOf(kTopic, mqtt_topic::kPicture),
                                           "-f",
                                           setup.picture.string()};
    for (auto _ : state) {
        const int before = setup.Pictures();
        const double start = ProcessorSeconds();
        ChildProcess publisher;
        std::string error;
        if (!publisher.Start(argv, {"PATH=/usr/bin:/bin"}, error))
            return state.SkipWithError(error.c_str());
        if (!setup.WaitForPictures(before + 1)) return state.SkipWithError("no picture came");
        while (publisher.Poll()) std::this_thread::sleep_for(1ms);
        state.SetIterationTime(ProcessorSeconds() - start);
    }
}

}  // namespace

BENCHMARK(BM_PublishAPicture_Floor)->Iterations(40)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PublishAPicture)->Iterations(40)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

#include "mqtt/mqtt_link.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <chrono>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "mqtt/mqtt_discovery.h"
#include "mqtt/mqtt_settings.h"
#include "mqtt_broker.h"
#include "platform/clock.h"
#include "platform/stop_signal.h"
#include "settings/shared_settings.h"
#include "support/local_time.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::SizeIs;

constexpr const char* kUser = "diary";
constexpr const char* kPassword = "s3cret-Pw";
constexpr const char* kTopic = "test/cam";

std::string T(const char* leaf) { return MqttTopicOf(kTopic, leaf); }

QJsonObject Json(const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    return document.object();
}

std::string RandomBytes(std::size_t size) {
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    bytes[0] = '\xff';
    bytes[1] = '\xd8';
    return bytes;
}

class MqttLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        WritePasswordFile(kPassword);
        settings.Update([&](DiarySettings& s) {
            s.SAVE_DIRECTORY = dir.str();
            s.MOTION_DETECT_INTERVAL = 1;
        });
    }
    void WritePasswordFile(const std::string& password, mode_t mode = 0600) {
        WriteFileBytes(dir.path() / "mqtt.pw", password + "\n");
        ::chmod((dir.path() / "mqtt.pw").c_str(), mode);
    }
    void Configure(int port, const std::string& tls_ca = {}, const std::string& topic = kTopic) {
        settings.Update([&](DiarySettings& s) {
            MqttSettings& mqtt = s.Section<MqttSettings>();
            mqtt.HOST = "127.0.0.1";
            mqtt.PORT = port;
            mqtt.USER = kUser;
            mqtt.PASSWORD_FILE = "mqtt.pw";  // in the settings folder
            mqtt.TOPIC = topic;
            mqtt.TLS_CA = tls_ca;
        });
    }
    // The job's wakes, as its thread would run them, until `done`.
    bool RunWakesUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 30s) {
        const auto give_up = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > give_up) return false;
            const auto wake = job->NextWake().value_or(1000ms);
            std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(wake, 50ms));
            job->Wake(stop);
        }
        return true;
    }
    std::vector<std::string> Lines() {
        std::lock_guard lock(lines_mutex);
        return lines;
    }
    bool WaitForLine(const std::string& part, std::chrono::milliseconds limit = 30s) {
        const auto give_up = std::chrono::steady_clock::now() + limit;
        for (;;) {
            for (const std::string& line : Lines()) {
                if (line.find(part) != std::string::npos) return true;
            }
            if (std::chrono::steady_clock::now() > give_up) return false;
            std::this_thread::sleep_for(20ms);
        }
    }
    void MakeJob() {
        job = std::make_unique<MqttLink>(
            DiaryJobContext{.settings = settings,
                            .events = events,
                            .publish = events,
                            .clock = SystemClockInstance(),
                            .post_line =
                                [this](const LogText& line) {
                                    std::lock_guard lock(lines_mutex);
                                    lines.push_back(line.designed);
                                },
                            .set_on_air = [this](bool on) { on_air_calls.push_back(on ? 1 : 0); },
                            .store_now = [this] { ++store_now_calls; },
                            .settings_directory = dir.str()},
            "9.8.7");
    }
    PictureStored Picture(PictureTrigger trigger) {
        PictureStored picture;
        picture.save_directory = dir.str();
        picture.day_name = "20240305";
        picture.file_name = "20240305090307.jpg";
        fs::create_directories(dir.path() / picture.day_name);
        picture.path = dir.str() + picture.day_name + "/" + picture.file_name;
        WriteFileBytes(picture.path, picture_bytes);
        picture.capture_time = CalendarTime(2024, 3, 5, 9, 3, 7);
        picture.capture_time.tm_gmtoff = 9 * 3600;
        picture.trigger = trigger;
        return picture;
    }

    TempDir dir;
    SharedSettings settings;
    StopSignal stop;
    DiaryEvents events;
    std::mutex lines_mutex;
    std::vector<std::string> lines;
    // Written by the network thread, read after waits.
    std::vector<int> on_air_calls;
    std::atomic<int> store_now_calls{0};
    std::string picture_bytes = RandomBytes(100 * 1024);
    std::unique_ptr<MqttLink> job;
};

// The whole round: discovery and states at the connection, the picture byte
// for byte, motion on and off again, the counters, the camera, both commands
// (a retained press kept by the broker never replayed), the broker gone and
// back with everything said again, a new TOPIC from the settings, and
// "offline" at the end.
TEST_F(MqttLinkTest, StatesCommandsAndTheBrokerGoneAndBack) {
    TestBroker broker(dir.path(), kUser, kPassword);
    ASSERT_TRUE(broker.Start());
    TestSubscriber watcher(broker.port(), kUser, kPassword);
    ASSERT_TRUE(watcher.WaitConnected());
    // Kept by the broker from earlier commands: they must not act at the
    // link's start (the broker marks them retained to a new subscriber).
    ASSERT_TRUE(watcher.Publish(T(mqtt_topic::kStorePress), "PRESS", true));
    ASSERT_TRUE(watcher.Publish(T(mqtt_topic::kRecordingSet), "OFF", true));
    ASSERT_TRUE(watcher.WaitForPayload(T(mqtt_topic::kStorePress), "PRESS"));
    ASSERT_TRUE(watcher.WaitForPayload(T(mqtt_topic::kRecordingSet), "OFF"));

    Configure(broker.port());
    MakeJob();
    job->Begin(stop);
    ASSERT_TRUE(watcher.WaitForPayload(T(mqtt_topic::kAvailability), "online"));
    EXPECT_TRUE(watcher.WaitForPayload(T(mqtt_topic::kCamera), "ON"));
    EXPECT_TRUE(watcher.WaitForPayload(T(mqtt_topic::kRecording), "ON"));
    EXPECT_TRUE(watcher.WaitForPayload(T(mqtt_topic::kFailedStores), "0"));
    EXPECT_TRUE(watcher.WaitForPayload(T(mqtt_topic::kMotion), "OFF"));

    // Discovery: every entity's config, JSON with the keys Home Assistant
    // needs and the link's own topics.
    const std::map<std::string, std::string> configs = {
        {"homeassistant/image/test_cam/picture/config", "image_topic"},
        {"homeassistant/binary_sensor/test_cam/motion/config", "state_topic"},
        {"homeassistant/binary_sensor/test_cam/camera/config", "state_topic"},
        {"homeassistant/sensor/test_cam/last_picture/config", "state_topic"},
        {"homeassistant/sensor/test_cam/failed_stores/config", "state_topic"},
        {"homeassistant/sensor/test_cam/free_mb/config", "state_topic"},
        {"homeassistant/switch/test_cam/recording/config", "state_topic"},
        {"homeassistant/button/test_cam/store/config", "command_topic"}};
    for (const auto& [topic, key] : configs) {
        ASSERT_TRUE(watcher.WaitFor(topic, [](const auto& r) { return !r.payload.empty(); }))
            << topic;
        const QJsonObject config = Json(watcher.Last(topic)->payload);
        for (const char* required : {"unique_id", "name", "device", "availability_topic"})
            EXPECT_TRUE(config.contains(required)) << topic << " " << required;
        EXPECT_EQ(config["availability_topic"].toString().toStdString(),
                  T(mqtt_topic::kAvailability));
        EXPECT_TRUE(config[QString::fromStdString(key)].toString().startsWith("test/cam/"))
            << topic;
        const QJsonObject device = config["device"].toObject();
        EXPECT_EQ(device["manufacturer"].toString(), "Quillomat");
        EXPECT_EQ(device["sw_version"].toString(), "9.8.7");
        EXPECT_EQ(device["identifiers"].toArray().first().toString(), "test_cam");
    }
    const auto config = [&](const char* topic) { return Json(watcher.Last(topic)->payload); };
    EXPECT_EQ(config("homeassistant/image/test_cam/picture/config")["content_type"], "image/jpeg");
    EXPECT_EQ(config("homeassistant/binary_sensor/test_cam/motion/config")["device_class"],
              "motion");
    EXPECT_EQ(config("homeassistant/binary_sensor/test_cam/camera/config")["device_class"],
              "connectivity");
    EXPECT_EQ(config("homeassistant/sensor/test_cam/last_picture/config")["device_class"],
              "timestamp");
    EXPECT_EQ(config("homeassistant/sensor/test_cam/free_mb/config")["unit_of_measurement"], "MiB");
    EXPECT_EQ(config("homeassistant/sensor/test_cam/free_mb/config")["device_class"], "data_size");
    const QJsonObject recording = config("homeassistant/switch/test_cam/recording/config");
    EXPECT_EQ(recording["command_topic"], "test/cam/recording/set");
    EXPECT_EQ(recording["payload_on"], "ON");
    EXPECT_EQ(recording["payload_off"], "OFF");
    EXPECT_EQ(config("homeassistant/button/test_cam/store/config")["command_topic"],
              "test/cam/store/press");
    EXPECT_NE(config("homeassistant/image/test_cam/picture/config")["unique_id"],
              config("homeassistant/button/test_cam/store/config")["unique_id"]);
    EXPECT_TRUE(WaitForLine("MQTT ブローカー 127.0.0.1:" + std::to_string(broker.port()) +
                            " に接続しました"));
    EXPECT_TRUE(WaitForLine("Home Assistant の自動検出を homeassistant/ に送りました"));

    // A motion picture: its bytes, its time, the counters, motion ON and
    // then OFF after MOTION_DETECT_INTERVAL.
    job->Handle(StoreFailed{257}, stop);
    job->Handle(StoreFailed{257}, stop);
    ASSERT_TRUE(watcher.WaitForPayload(T(mqtt_topic::kFailedStores), "2"));
    job->Handle(Picture(PictureTrigger::kMotion), stop);
    ASSERT_TRUE(watcher.WaitFor(T(mqtt_topic::kPicture), [&](const auto& r) {
        return r.payload.size() == picture_bytes.size();
    }));
    EXPECT_TRUE(watcher.Last(T(mqtt_topic::kPicture))->payload == picture_bytes);
    EXPECT_TRUE(watcher.WaitForPayload(T(mqtt_topic::kMotion), "ON"));
    EXPECT_TRUE(watcher.WaitForPayload(T(mqtt_topic::kLastPicture), "2024-03-05T09:03:07+09:00"));
    EXPECT_TRUE(watcher.WaitForPayload(T(mqtt_topic::kFailedStores), "0"));
    ASSERT_TRUE(
        watcher.WaitFor(T(mqtt_topic::kFreeMb), [](const auto& r) { return !r.payload.empty(); }));
    EXPECT_GT(std::stoull(watcher.Last(T(mqtt_topic::kFreeMb))->payload), 0u);
    EXPECT_TRUE(job->NextWake().value() <= 1000ms);
    EXPECT_TRUE(
        RunWakesUntil([&] { return watcher.Last(T(mqtt_topic::kMotion))->payload == "OFF"; }));
    {
        // A dashboard that comes later finds every state kept by the broker.
        TestSubscriber later(broker.port(), kUser, kPassword);
        for (const char* leaf :
             {mqtt_topic::kAvailability, mqtt_topic::kPicture, mqtt_topic::kMotion,
              mqtt_topic::kCamera, mqtt_topic::kLastPicture, mqtt_topic::kFailedStores,
              mqtt_topic::kFreeMb, mqtt_topic::kRecording}) {
            EXPECT_TRUE(later.WaitFor(T(leaf), [](const auto& r) { return r.retained; })) << leaf;
        }
    }
    job->Handle(CameraGone{"Cam", ""}, stop);
    EXPECT_TRUE(watcher.WaitForPayload(T(mqtt_topic::kCamera), "OFF"));
    job->Handle(OnAirSwitched{false}, stop);
    EXPECT_TRUE(watcher.WaitForPayload(T(mqtt_topic::kRecording), "OFF"));

    // The commands: OFF and ON reach the on-air flag, a press takes a
    // picture; nothing retained, too long or unknown does anything, and
    // what is ignored is said once.
    ASSERT_TRUE(watcher.Publish(T(mqtt_topic::kRecordingSet), std::string(65, 'O'), false));
    ASSERT_TRUE(watcher.Publish(T(mqtt_topic::kRecordingSet), "maybe", false));
    ASSERT_TRUE(watcher.Publish(T(mqtt_topic::kRecordingSet), "OFF", false));
    ASSERT_TRUE(watcher.Publish(T(mqtt_topic::kRecordingSet), "ON", false));
    ASSERT_TRUE(watcher.Publish(T(mqtt_topic::kStorePress), "PRESS", false));
    ASSERT_TRUE(RunWakesUntil([&] { return store_now_calls.load() >= 1; }));
    // Messages of one client come in order: the press came after the rest.
    EXPECT_EQ(on_air_calls, (std::vector<int>{0, 1}));
    EXPECT_EQ(store_now_calls.load(), 1) << "the retained press was acted on";
    EXPECT_EQ(on_air_calls.size(), 2u) << "the retained OFF was acted on";
    EXPECT_GE(job->IgnoredCommands(), 3u);
    std::vector<std::string> ignored;
    for (const std::string& line : Lines()) {
        if (line.find("無視") != std::string::npos) ignored.push_back(line);
    }
    EXPECT_THAT(ignored, SizeIs(1));

    // The broker goes and comes back: said once each way, and every state
    // (the picture too, the broker kept nothing) is there again.
    broker.Stop();
    ASSERT_TRUE(WaitForLine("との接続が切れました"));
    watcher.Forget();
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(watcher.WaitConnected());
    EXPECT_TRUE(watcher.WaitForPayload(T(mqtt_topic::kAvailability), "online", 90s));
    EXPECT_TRUE(watcher.WaitForPayload(T(mqtt_topic::kCamera), "OFF"));
    EXPECT_TRUE(watcher.WaitForPayload(T(mqtt_topic::kLastPicture), "2024-03-05T09:03:07+09:00"));
    EXPECT_TRUE(watcher.WaitFor(T(mqtt_topic::kPicture),
                                [&](const auto& r) { return r.payload == picture_bytes; }));
    EXPECT_TRUE(watcher.WaitFor("homeassistant/button/test_cam/store/config",
                                [](const auto& r) { return !r.payload.empty(); }));
    EXPECT_TRUE(WaitForLine("との接続が戻りました"));

    // A new TOPIC from the settings tab: the old one is left "offline", the
    // new one comes up.
    Configure(broker.port(), "", "test/other");
    job->Wake(stop);
    EXPECT_TRUE(watcher.WaitForPayload(T(mqtt_topic::kAvailability), "offline"));
    EXPECT_TRUE(watcher.WaitForPayload("test/other/availability", "online"));

    job->End(stop);
    EXPECT_TRUE(watcher.WaitForPayload("test/other/availability", "offline"));
    for (const std::string& line : Lines()) EXPECT_THAT(line, Not(HasSubstr(kPassword)));
}

// A wrong password is said, once, as not authorised, and the password never;
// a password file others may read is refused before any connection; the
// connection test says the same.
TEST_F(MqttLinkTest, WrongPasswordAndAnOpenPasswordFileAreSaidWithoutThePassword) {
    TestBroker broker(dir.path(), kUser, kPassword);
    ASSERT_TRUE(broker.Start());
    WritePasswordFile("wrong-Secret-7");
    Configure(broker.port());
    MakeJob();
    job->Begin(stop);
    ASSERT_TRUE(WaitForLine("に接続できません"));
    EXPECT_TRUE(WaitForLine("not authorised"));
    const MqttSettings mqtt =
        settings.Read([](const DiarySettings& s) { return s.Section<MqttSettings>(); });
    const std::string reason = TestMqttConnection(mqtt, dir.str(), 20s);
    EXPECT_THAT(reason, HasSubstr("not authorised"));
    EXPECT_THAT(reason, Not(HasSubstr("wrong-Secret-7")));

    // Retries stay silent.
    std::this_thread::sleep_for(2500ms);
    job->Wake(stop);
    int cannot = 0;
    for (const std::string& line : Lines()) {
        EXPECT_THAT(line, Not(HasSubstr("wrong-Secret-7")));
        cannot += line.find("に接続できません") != std::string::npos;
    }
    EXPECT_EQ(cannot, 1);

    WritePasswordFile(kPassword, 0640);
    const std::string open_file = TestMqttConnection(mqtt, dir.str(), 20s);
    EXPECT_THAT(open_file, HasSubstr("mqtt.pw"));
    EXPECT_THAT(open_file, Not(HasSubstr(kPassword)));
    Configure(broker.port(), "", "test/open");
    job->Wake(stop);
    EXPECT_TRUE(WaitForLine("所有者以外も読み書きできる"));

    WritePasswordFile(kPassword);
    EXPECT_EQ(TestMqttConnection(mqtt, dir.str(), 20s), "");
    job->End(stop);
}

// A broker that is not there yet when the diary starts (refused at once):
// said once, tried again after growing pauses with no thread polling
// meanwhile, and reached once it listens.
TEST_F(MqttLinkTest, ABrokerThatComesLaterIsReached) {
    TestBroker broker(dir.path(), kUser, kPassword);
    Configure(broker.port());
    MakeJob();
    job->Begin(stop);
    ASSERT_TRUE(WaitForLine("に接続できません"));
    // libmosquitto's own thread, after a refusal at once, would wake every
    // 10 ms and never try again: none may wait meanwhile.
    int network_threads = 0;
    for (const auto& task : fs::directory_iterator("/proc/self/task"))
        network_threads += ReadFileBytes(task.path() / "comm").starts_with("mosquitto loop");
    EXPECT_EQ(network_threads, 0);
    ASSERT_TRUE(broker.Start());
    TestSubscriber watcher(broker.port(), kUser, kPassword);
    ASSERT_TRUE(watcher.WaitConnected());
    EXPECT_TRUE(RunWakesUntil(
        [&] {
            return watcher.Last(T(mqtt_topic::kAvailability)).has_value() &&
                   watcher.Last(T(mqtt_topic::kAvailability))->payload == "online";
        },
        60s));
    int cannot = 0;
    for (const std::string& line : Lines())
        cannot += line.find("に接続できません") != std::string::npos;
    EXPECT_EQ(cannot, 1);
    EXPECT_TRUE(WaitForLine("に接続しました"));
    job->End(stop);
}

// TLS with a CA of the test's own, given relative to the settings folder;
// the connection test refuses a broker whose certificate another CA signed.
TEST_F(MqttLinkTest, TlsWithTheCaFile) {
    TlsFiles tls;
    std::string error;
    ASSERT_TRUE(MakeTlsFiles(dir.path(), tls, error)) << error;
    TestBroker broker(dir.path(), kUser, kPassword, tls);
    ASSERT_TRUE(broker.Start());
    TestSubscriber watcher(broker.port(), kUser, kPassword, tls.ca_file);
    ASSERT_TRUE(watcher.WaitConnected());

    Configure(broker.port(), tls.ca_file.filename().string());
    MakeJob();
    job->Begin(stop);
    ASSERT_TRUE(watcher.WaitForPayload(T(mqtt_topic::kAvailability), "online"));
    job->Handle(Picture(PictureTrigger::kInterval), stop);
    EXPECT_TRUE(watcher.WaitFor(T(mqtt_topic::kPicture),
                                [&](const auto& r) { return r.payload == picture_bytes; }));
    job->End(stop);
    EXPECT_TRUE(watcher.WaitForPayload(T(mqtt_topic::kAvailability), "offline"));

    MqttSettings mqtt =
        settings.Read([](const DiarySettings& s) { return s.Section<MqttSettings>(); });
    EXPECT_EQ(TestMqttConnection(mqtt, dir.str(), 20s), "");
    TempDir other;
    TlsFiles foreign;
    ASSERT_TRUE(MakeTlsFiles(other.path(), foreign, error)) << error;
    mqtt.TLS_CA = foreign.ca_file.string();
    EXPECT_THAT(TestMqttConnection(mqtt, dir.str(), 20s), HasSubstr("TLS"));
    mqtt.TLS_CA.clear();
    EXPECT_FALSE(TestMqttConnection(mqtt, dir.str(), 5s).empty());
}

// The names a topic and a node id may hold, and the empty payloads that
// take the entities away when DISCOVERY is off.
TEST(MqttDiscovery, SafeNamesAndTheRemovalOfEveryEntity) {
    EXPECT_EQ(TopicSafe("my host/+#x"), "my_host___x");
    EXPECT_EQ(TopicSafe(""), "quillomat");
    EXPECT_EQ(DiscoveryNodeId("quillomat/cam-1.home"), "quillomat_cam-1_home");
    EXPECT_EQ(MqttBaseTopic("a/b/"), "a/b");
    EXPECT_THAT(MqttBaseTopic(""), Not(HasSubstr(" ")));
    EXPECT_TRUE(MqttBaseTopic("").starts_with("quillomat/"));
    const DiscoveryFacts facts{"q/c", "ha", "host", ""};
    const auto on = DiscoveryMessages(facts, true);
    const auto off = DiscoveryMessages(facts, false);
    ASSERT_EQ(on.size(), 8u);
    ASSERT_EQ(off.size(), on.size());
    for (std::size_t i = 0; i < on.size(); ++i) {
        EXPECT_EQ(off[i].topic, on[i].topic);
        EXPECT_TRUE(off[i].payload.empty());
        EXPECT_TRUE(on[i].topic.starts_with("ha/")) << on[i].topic;
        EXPECT_FALSE(Json(on[i].payload)["device"].toObject().contains("sw_version"));
    }
}

}  // namespace

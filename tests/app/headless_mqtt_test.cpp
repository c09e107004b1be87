// The smart home's link end to end: the real program against a real
// mosquitto of the test's own, watched and driven by a client of the test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/headless_fixture.h"
#include "mqtt/mqtt_broker.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::Not;

constexpr const char* kTopic = "quillomat/shelf";

std::string Topic(const std::string& name) { return std::string(kTopic) + "/" + name; }

std::vector<std::string> Lines(const fs::path& file) {
    std::vector<std::string> lines;
    std::istringstream in(ReadFileBytes(file));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

long CountOf(const std::vector<std::string>& lines, const std::string& line) {
    return std::count(lines.begin(), lines.end(), line);
}

// A press kept by the broker from before the start stores nothing; the
// newest picture arrives as its very bytes; the switch takes the diary off
// the air (saved as the window's button saves it) and a press still stores
// a picture then; back on the air the interval goes on; a killed program is
// "offline" through its last will.
TEST(HeadlessMqttTest, PicturesTheSwitchThePressAndTheLastWill) {
    TempDir home;
    const fs::path diary = home.path() / "diary";
    fs::create_directory(diary);
    TestBroker broker(home.path() / "broker", "diary", "s3cret-Pw");
    ASSERT_TRUE(broker.Start());
    TestSubscriber watcher(broker.port(), "diary", "s3cret-Pw");
    ASSERT_TRUE(watcher.WaitConnected());
    ASSERT_TRUE(watcher.Publish(Topic("store/press"), "PRESS", true));

    const fs::path password = home.path() / "mqtt-password";
    WriteFileBytes(password, "s3cret-Pw\n");
    fs::permissions(password, fs::perms::owner_read | fs::perms::owner_write);
    const fs::path triggers = home.path() / "triggers";
    WriteIniFile(
        home.path() / "setup.ini",
        {"[DIARY]", "SAVE_DIRECTORY=" + diary.string() + "/", "INTERVAL_HOUR=0",
         "INTERVAL_MINUTE=0", "INTERVAL_SECOND=1", "MOTION_DETECT=off", "[EVENTS]",
         "ON_PICTURE=sh -c 'echo \"$QUILLOMAT_TRIGGER\" >> \"$1\"' sh '" + triggers.string() + "'",
         "[MQTT]", "HOST=127.0.0.1", "PORT=" + std::to_string(broker.port()), "USER=diary",
         "PASSWORD_FILE=mqtt-password", std::string("TOPIC=") + kTopic});
    WriteIniFile(home.path() / "device.ini",
                 {"[DEVICE]", "SELECT=Cam", "WIDTH=320", "HEIGHT=240", "FRAMERATE=333333"});
    DiaryProcess program;
    ASSERT_TRUE(program.Start({home.path(), "Cam", {}}));
    const auto transcript = [&] {
        return "--- stdout ---\n" + program.Output() + "--- stderr ---\n" + program.Errors();
    };

    ASSERT_TRUE(watcher.WaitForPayload(Topic("availability"), "online", kConditionLimit))
        << transcript();
    ASSERT_TRUE(
        WaitUntil([&] { return CountOf(Lines(triggers), "interval") >= 2; }, kConditionLimit))
        << transcript();
    // The picture topic holds one of the stored pictures, byte for byte.
    ASSERT_TRUE(watcher.WaitFor(
        Topic("picture"),
        [&](const TestSubscriber::Received& got) {
            for (const std::string& name : PictureNames(diary))
                if (ReadFileBytes(diary / name) == got.payload) return true;
            return false;
        },
        kConditionLimit))
        << transcript();
    EXPECT_TRUE(watcher.WaitForPayload(Topic("recording"), "ON"));
    EXPECT_FALSE(watcher.TopicsUnder("homeassistant/switch/").empty());

    ASSERT_TRUE(watcher.Publish(Topic("recording/set"), "OFF", false));
    ASSERT_TRUE(watcher.WaitForPayload(Topic("recording"), "OFF", kConditionLimit)) << transcript();
    ASSERT_TRUE(WaitUntil(
        [&] {
            return ReadFileBytes(home.path() / "setup.ini").find("ONAIR=off") != std::string::npos;
        },
        kConditionLimit))
        << "saved as the button saves it";
    // A store under way when the switch came may still end.
    std::this_thread::sleep_for(1500ms);
    const long off_air = CountOf(Lines(triggers), "interval");
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(CountOf(Lines(triggers), "interval"), off_air) << "no interval picture off the air";
    EXPECT_THAT(Lines(triggers), Not(Contains("request")))
        << "the press the broker kept from before the start";

    ASSERT_TRUE(watcher.Publish(Topic("store/press"), "PRESS", false));
    EXPECT_TRUE(
        WaitUntil([&] { return CountOf(Lines(triggers), "request") == 1; }, kConditionLimit))
        << transcript();

    ASSERT_TRUE(watcher.Publish(Topic("recording/set"), "ON", false));
    EXPECT_TRUE(WaitUntil([&] { return CountOf(Lines(triggers), "interval") >= off_air + 2; },
                          kConditionLimit))
        << transcript();

    program.Kill();
    EXPECT_TRUE(watcher.WaitForPayload(Topic("availability"), "offline", kConditionLimit));
    EXPECT_THAT(program.Output() + program.Errors() + ReadFileBytes(home.path() / "log.txt"),
                Not(::testing::HasSubstr("s3cret-Pw")));
}

}  // namespace

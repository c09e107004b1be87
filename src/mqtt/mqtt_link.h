#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "events/diary_events.h"
#include "events/diary_job_context.h"
#include "mqtt/mqtt_client.h"
#include "mqtt/mqtt_settings.h"

class Clock;
class SharedSettings;

// The diary on an MQTT broker, for a smart home: under TOPIC its
// availability (the last will says "offline"), the last picture's bytes,
// motion (ON after a motion picture, OFF MOTION_DETECT_INTERVAL seconds
// later), the camera, the last picture's time, stores failed in a row, the
// save folder's free space and the on-air flag, all retained and published
// again at every connection; Home Assistant's discovery with them when
// DISCOVERY is on. It takes two commands: <TOPIC>/recording/set (ON/OFF, the
// on-air flag) and <TOPIC>/store/press (a picture at once). A retained
// command is never acted on (a press kept by the broker must not replay at a
// start), nor one too long; what is ignored is counted and said once.
// libmosquitto's thread keeps the connection; [MQTT] changed in the settings
// is applied at the next event or wake.
class MqttLink final : public DiarySubscriber {
public:
    // How often the settings are looked at with nothing else to do.
    static constexpr std::chrono::milliseconds kSettingsPoll{5000};
    static constexpr std::uint64_t kPictureMax = 32ull << 20;
    static constexpr std::size_t kCommandMax = 64;
    // The most the end waits for the broker to take "offline".
    static constexpr std::chrono::milliseconds kEndLimit{400};

    MqttLink(const DiaryJobContext& context, std::string sw_version);
    ~MqttLink() override;

    std::string Name() const override { return "mqtt"; }
    void Begin(const StopSignal& stop) override;
    void Handle(const DiaryEvent& event, const StopSignal& stop) override;
    std::optional<std::chrono::milliseconds> NextWake() override;
    void Wake(const StopSignal& stop) override;
    void End(const StopSignal& stop) override;

    // Command messages ignored so far (any thread).
    std::uint64_t IgnoredCommands() const { return ignored_.load(); }

private:
    // What the topics say, as last published or to be published at the
    // next connection.
    struct States {
        bool camera = true;
        bool motion = false;
        std::uint32_t motion_off_tick = 0;
        std::optional<std::string> last_picture;
        int failed_stores = 0;
        std::optional<std::uint64_t> free_mb;
        std::string picture_path;
    };

    void Apply();
    void Connect();
    void Disconnect(std::chrono::milliseconds limit);
    void LookAtClient();
    void NoteFreeSpace(const std::string& save_folder);
    // Under mutex_.
    void PublishState(const char* leaf, const std::string& value);
    void PublishPicture(const std::string& bytes);

    // The network thread's.
    void OnConnected();
    void OnFailed(const std::string& why, bool was_open);
    void OnCommand(const std::string& topic, std::string_view payload, bool retained);
    void Ignore(const char* why);

    SharedSettings& settings_;
    Clock& clock_;
    std::function<void(const LogText&)> post_line_;
    std::function<void(bool)> set_on_air_;
    std::function<void()> store_now_;
    const std::string settings_directory_;
    const std::string sw_version_;

    // The job's thread.
    std::uint64_t settings_seen_ = 0;
    bool settings_read_ = false;
    std::optional<std::uint32_t> rebuild_tick_;

    // Shared with the network thread; written by the job's thread under
    // mutex_ (the job's thread reads them without it).
    mutable std::mutex mutex_;
    MqttSettings applied_;
    std::optional<MqttConnectFacts> facts_;
    std::unique_ptr<MqttClient> client_;
    States states_;
    bool ever_connected_ = false;
    bool failure_said_ = false;
    bool discovery_said_ = false;
    std::chrono::milliseconds rebuild_pause_{1000};
    std::atomic<std::uint64_t> ignored_{0};
};

// Registers [MQTT] and subscribes the job.
void RegisterMqtt(const DiaryJobContext& context);

// The settings tab's test: one connection with `settings`, given up after
// `limit`. "" when the broker accepted it; else a short reason (refused, not
// authorised, a TLS failure, no answer), never the password.
std::string TestMqttConnection(const MqttSettings& settings, const std::string& settings_directory,
                               std::chrono::milliseconds limit);

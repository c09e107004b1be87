#include "mqtt/mqtt_link.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtGlobal>
#include <algorithm>
#include <condition_variable>
#include <variant>

#include "diary/layout/day_folders.h"
#include "log/log_text.h"
#include "mqtt/mqtt_discovery.h"
#include "platform/clock.h"
#include "platform/iso_time.h"
#include "settings/shared_settings.h"

#ifndef QUILLOMAT_MQTT_SW_VERSION
#define QUILLOMAT_MQTT_SW_VERSION ""
#endif

namespace {

constexpr std::chrono::milliseconds kRebuildPauseMax{60000};

std::string BrokerName(const MqttConnectFacts& facts) {
    return facts.host + ":" + std::to_string(facts.port);
}

const char* OnOff(bool on) { return on ? "ON" : "OFF"; }

// The picture's bytes; empty when it cannot be read or is larger than `max`
// (`too_large` then).
std::string ReadPicture(const std::string& path, std::uint64_t max, bool& too_large) {
    too_large = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return {};
    std::string bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        if (static_cast<std::uint64_t>(st.st_size) > max) {
            too_large = true;
        } else {
            bytes.resize(static_cast<std::size_t>(st.st_size));
            std::size_t got = 0;
            while (got < bytes.size()) {
                const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
                if (n <= 0) break;
                got += static_cast<std::size_t>(n);
            }
            bytes.resize(got);
        }
    }
    ::close(fd);
    return bytes;
}

bool SameWord(std::string_view text, std::string_view word) {
    return text.size() == word.size() &&
           std::equal(text.begin(), text.end(), word.begin(), [](char a, char b) {
               return (a >= 'a' && a <= 'z' ? a - 'a' + 'A' : a) == b;
           });
}

}  // namespace

MqttLink::MqttLink(const DiaryJobContext& context, std::string sw_version)
    : settings_(context.settings),
      clock_(context.clock),
      post_line_(context.post_line),
      set_on_air_(context.set_on_air),
      store_now_(context.store_now),
      settings_directory_(context.settings_directory),
      sw_version_(std::move(sw_version)) {}

MqttLink::~MqttLink() { Disconnect(std::chrono::milliseconds(0)); }

void RegisterMqtt(const DiaryJobContext& context) {
    RegisterSettingsSection(MqttSettingsSection());
    context.events.Subscribe(std::make_shared<MqttLink>(context, QUILLOMAT_MQTT_SW_VERSION));
}

void MqttLink::Begin(const StopSignal&) {
    NoteFreeSpace(settings_.Read([](const DiarySettings& s) { return SaveFolderPath(s); }));
    Apply();
}

void MqttLink::Handle(const DiaryEvent& event, const StopSignal&) {
    Apply();
    if (const auto* stored = std::get_if<PictureStored>(&event)) {
        bool too_large = false;
        const std::string bytes = ReadPicture(stored->path, kPictureMax, too_large);
        if (too_large) {
            post_line_(TranslatedLogText(
                "Mqtt",
                QT_TRANSLATE_NOOP("Mqtt", "画像 %1 は %2 MB より大きいため MQTT に送りません"),
                {stored->path, std::to_string(kPictureMax >> 20)}));
        }
        const int interval =
            settings_.Read([](const DiarySettings& s) { return s.MOTION_DETECT_INTERVAL; });
        NoteFreeSpace(stored->save_directory);
        std::lock_guard lock(mutex_);
        states_.failed_stores = 0;
        states_.last_picture = IsoLocalTime(stored->capture_time);
        states_.picture_path = bytes.empty() ? std::string() : stored->path;
        if (!bytes.empty()) PublishPicture(bytes);
        PublishState(mqtt_topic::kLastPicture, *states_.last_picture);
        PublishState(mqtt_topic::kFailedStores, "0");
        if (states_.free_mb) PublishState(mqtt_topic::kFreeMb, std::to_string(*states_.free_mb));
        if (stored->trigger == PictureTrigger::kMotion) {
            states_.motion = true;
            states_.motion_off_tick =
                clock_.TickMs() + static_cast<std::uint32_t>(std::max(0, interval)) * 1000u;
            PublishState(mqtt_topic::kMotion, "ON");
        }
    } else if (std::holds_alternative<StoreFailed>(event)) {
        NoteFreeSpace(settings_.Read([](const DiarySettings& s) { return SaveFolderPath(s); }));
        std::lock_guard lock(mutex_);
        ++states_.failed_stores;
        PublishState(mqtt_topic::kFailedStores, std::to_string(states_.failed_stores));
        if (states_.free_mb) PublishState(mqtt_topic::kFreeMb, std::to_string(*states_.free_mb));
    } else if (std::holds_alternative<CameraGone>(event) ||
               std::holds_alternative<CameraBack>(event)) {
        std::lock_guard lock(mutex_);
        states_.camera = std::holds_alternative<CameraBack>(event);
        PublishState(mqtt_topic::kCamera, OnOff(states_.camera));
    } else if (const auto* on_air = std::get_if<OnAirSwitched>(&event)) {
        std::lock_guard lock(mutex_);
        PublishState(mqtt_topic::kRecording, OnOff(on_air->on));
    }
    LookAtClient();
}

std::optional<std::chrono::milliseconds> MqttLink::NextWake() {
    std::chrono::milliseconds wake = kSettingsPoll;
    {
        std::lock_guard lock(mutex_);
        if (states_.motion) {
            const auto left = static_cast<std::int32_t>(states_.motion_off_tick - clock_.TickMs());
            wake = std::min(wake, std::chrono::milliseconds(std::max<std::int32_t>(0, left)));
        }
    }
    if (rebuild_tick_) {
        const auto left = static_cast<std::int32_t>(*rebuild_tick_ - clock_.TickMs());
        wake = std::min(wake, std::chrono::milliseconds(std::max<std::int32_t>(0, left)));
    }
    return wake;
}

void MqttLink::Wake(const StopSignal&) {
    Apply();
    {
        std::lock_guard lock(mutex_);
        if (states_.motion &&
            static_cast<std::int32_t>(states_.motion_off_tick - clock_.TickMs()) <= 0) {
            states_.motion = false;
            PublishState(mqtt_topic::kMotion, "OFF");
        }
    }
    LookAtClient();
}

void MqttLink::End(const StopSignal&) { Disconnect(kEndLimit); }

void MqttLink::Apply() {
    const std::uint64_t generation = settings_.Generation();
    if (settings_read_ && generation == settings_seen_) return;
    settings_read_ = true;
    settings_seen_ = generation;
    const auto [mqtt, folder] = settings_.Read([](const DiarySettings& s) {
        return std::pair(s.Section<MqttSettings>(), s.settings_folder);
    });
    if (mqtt == applied_) return;
    Disconnect(kEndLimit);
    {
        std::lock_guard lock(mutex_);
        applied_ = mqtt;
        facts_.reset();
        ever_connected_ = false;
        failure_said_ = false;
        discovery_said_ = false;
        rebuild_pause_ = std::chrono::milliseconds(1000);
    }
    MqttResolution resolution =
        ResolveMqtt(mqtt, settings_directory_.empty() ? folder : settings_directory_);
    if (resolution.problem) post_line_(*resolution.problem);
    if (!resolution.facts) return;
    {
        std::lock_guard lock(mutex_);
        facts_ = std::move(resolution.facts);
    }
    Connect();
}

void MqttLink::Connect() {
    const std::vector<std::string> commands = {
        MqttTopicOf(facts_->base_topic, mqtt_topic::kRecordingSet),
        MqttTopicOf(facts_->base_topic, mqtt_topic::kStorePress)};
    MqttClient::Handlers handlers;
    handlers.connected = [this] { OnConnected(); };
    handlers.failed = [this](const std::string& why, bool was_open) { OnFailed(why, was_open); };
    handlers.message = [this](const std::string& topic, std::string_view payload, bool retained) {
        OnCommand(topic, payload, retained);
    };
    auto client = std::make_unique<MqttClient>(*facts_, commands, std::move(handlers));
    MqttClient& started = *client;
    {
        std::lock_guard lock(mutex_);
        client_ = std::move(client);
    }
    if (const std::string why = started.Start(); !why.empty()) OnFailed(why, false);
}

void MqttLink::Disconnect(std::chrono::milliseconds limit) {
    std::unique_ptr<MqttClient> client;
    {
        std::lock_guard lock(mutex_);
        client = std::move(client_);
    }
    rebuild_tick_.reset();
    if (!client) return;
    client->Stop(MqttMessage{MqttTopicOf(facts_->base_topic, mqtt_topic::kAvailability), "offline"},
                 limit);
}

// libmosquitto's thread ends for good after some failures (TLS): a new
// client tries again after a pause that grows as its own would.
void MqttLink::LookAtClient() {
    if (!client_ || !client_->GaveUp() || !facts_) return;
    const std::uint32_t now = clock_.TickMs();
    if (!rebuild_tick_) {
        std::lock_guard lock(mutex_);
        rebuild_tick_ = now + static_cast<std::uint32_t>(rebuild_pause_.count());
        rebuild_pause_ = std::min(rebuild_pause_ * 2, kRebuildPauseMax);
        return;
    }
    if (static_cast<std::int32_t>(*rebuild_tick_ - now) > 0) return;
    Disconnect(std::chrono::milliseconds(0));
    Connect();
}

void MqttLink::NoteFreeSpace(const std::string& save_folder) {
    if (save_folder.empty()) return;
    const std::optional<FileSystemSpace> space = SpaceOf(save_folder);
    if (!space) return;
    std::lock_guard lock(mutex_);
    states_.free_mb = space->free_bytes / (1024 * 1024);
}

void MqttLink::PublishState(const char* leaf, const std::string& value) {
    if (client_) client_->Publish(MqttTopicOf(facts_->base_topic, leaf), value, true);
}

void MqttLink::PublishPicture(const std::string& bytes) {
    if (client_)
        client_->Publish(MqttTopicOf(facts_->base_topic, mqtt_topic::kPicture), bytes, true);
}

void MqttLink::OnConnected() {
    std::optional<LogText> line;
    std::optional<LogText> discovery_line;
    {
        std::lock_guard lock(mutex_);
        // A client being replaced: its successor says it all.
        if (!client_) return;
        const std::string& base = facts_->base_topic;
        client_->Publish(MqttTopicOf(base, mqtt_topic::kAvailability), "online", true, 1);
        const MqttSettings& mqtt = applied_;
        const DiscoveryFacts discovery{base, mqtt.DISCOVERY_PREFIX, MqttHostName(), sw_version_};
        for (const MqttMessage& message : DiscoveryMessages(discovery, mqtt.DISCOVERY))
            client_->Publish(message.topic, message.payload, true, 1);
        PublishState(mqtt_topic::kCamera, OnOff(states_.camera));
        PublishState(mqtt_topic::kMotion, OnOff(states_.motion));
        PublishState(mqtt_topic::kRecording, OnOff(settings_.OnAir()));
        PublishState(mqtt_topic::kFailedStores, std::to_string(states_.failed_stores));
        if (states_.last_picture) PublishState(mqtt_topic::kLastPicture, *states_.last_picture);
        if (states_.free_mb) PublishState(mqtt_topic::kFreeMb, std::to_string(*states_.free_mb));
        if (!states_.picture_path.empty()) {
            bool too_large = false;
            const std::string bytes = ReadPicture(states_.picture_path, kPictureMax, too_large);
            if (!bytes.empty()) PublishPicture(bytes);
        }
        const std::string broker = BrokerName(*facts_);
        line =
            ever_connected_
                ? TranslatedLogText(
                      "Mqtt", QT_TRANSLATE_NOOP("Mqtt", "MQTT ブローカー %1 との接続が戻りました"),
                      {broker})
                : TranslatedLogText("Mqtt",
                                    QT_TRANSLATE_NOOP("Mqtt", "MQTT ブローカー %1 に接続しました"),
                                    {broker});
        if (!discovery_said_) {
            discovery_said_ = true;
            const std::string where = mqtt.DISCOVERY_PREFIX + "/";
            discovery_line =
                mqtt.DISCOVERY
                    ? TranslatedLogText(
                          "Mqtt",
                          QT_TRANSLATE_NOOP("Mqtt", "Home Assistant の自動検出を %1 に送りました"),
                          {where})
                    : TranslatedLogText(
                          "Mqtt",
                          QT_TRANSLATE_NOOP("Mqtt",
                                            "Home Assistant の自動検出を %1 から取り消しました"),
                          {where});
        }
        ever_connected_ = true;
        failure_said_ = false;
        rebuild_pause_ = std::chrono::milliseconds(1000);
    }
    post_line_(*line);
    if (discovery_line) post_line_(*discovery_line);
}

void MqttLink::OnFailed(const std::string& why, bool was_open) {
    std::optional<LogText> line;
    {
        std::lock_guard lock(mutex_);
        if (!facts_ || failure_said_) return;
        failure_said_ = true;
        const std::string broker = BrokerName(*facts_);
        line =
            was_open
                ? TranslatedLogText(
                      "Mqtt",
                      QT_TRANSLATE_NOOP(
                          "Mqtt", "MQTT ブローカー %1 との接続が切れました (%2)。再接続を続けます"),
                      {broker, why})
                : TranslatedLogText(
                      "Mqtt",
                      QT_TRANSLATE_NOOP(
                          "Mqtt", "MQTT ブローカー %1 に接続できません (%2)。再接続を続けます"),
                      {broker, why});
    }
    post_line_(*line);
}

void MqttLink::OnCommand(const std::string& topic, std::string_view payload, bool retained) {
    if (retained) return Ignore("retained");
    if (payload.size() > kCommandMax) return Ignore("too long");
    const std::string base = [this] {
        std::lock_guard lock(mutex_);
        return facts_ ? facts_->base_topic : std::string();
    }();
    if (topic == MqttTopicOf(base, mqtt_topic::kRecordingSet)) {
        if (SameWord(payload, "ON")) return set_on_air_(true);
        if (SameWord(payload, "OFF")) return set_on_air_(false);
        return Ignore("neither ON nor OFF");
    }
    if (topic == MqttTopicOf(base, mqtt_topic::kStorePress)) return store_now_();
    Ignore("unknown topic");
}

void MqttLink::Ignore(const char* why) {
    if (ignored_.fetch_add(1) != 0) return;
    post_line_(TranslatedLogText(
        "Mqtt",
        QT_TRANSLATE_NOOP("Mqtt",
                          "MQTT のコマンドを無視しました (%1)。以後は数えるだけで記録しません"),
        {why}));
}

std::string TestMqttConnection(const MqttSettings& settings, const std::string& settings_directory,
                               std::chrono::milliseconds limit) {
    const MqttResolution resolution = ResolveMqtt(settings, settings_directory);
    if (resolution.problem) return resolution.problem->shown;
    if (!resolution.facts) return "HOST is empty";
    struct Outcome {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<std::string> why;
    };
    auto outcome = std::make_shared<Outcome>();
    const auto finish = [outcome](const std::string& why) {
        std::lock_guard lock(outcome->mutex);
        if (!outcome->why) outcome->why = why;
        outcome->done.notify_all();
    };
    MqttClient::Handlers handlers;
    handlers.connected = [finish] { finish(""); };
    handlers.failed = [finish](const std::string& why, bool) { finish(why); };
    MqttClient client(*resolution.facts, {}, std::move(handlers));
    if (const std::string why = client.Start(); !why.empty()) finish(why);
    std::string result;
    {
        std::unique_lock lock(outcome->mutex);
        if (outcome->done.wait_for(lock, limit, [&] { return outcome->why.has_value(); })) {
            result = *outcome->why;
        } else {
            result = "no answer within " +
                     std::to_string(std::chrono::ceil<std::chrono::seconds>(limit).count()) + " s";
        }
    }
    client.Stop(std::nullopt, std::chrono::milliseconds(200));
    return result;
}

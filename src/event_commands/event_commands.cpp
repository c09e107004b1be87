#include "event_commands/event_commands.h"

#include <glib.h>
#include <signal.h>

#include <QtGlobal>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string_view>
#include <thread>
#include <tuple>
#include <variant>

#include "event_commands/event_commands_settings.h"
#include "platform/clock.h"
#include "settings/shared_settings.h"

extern char** environ;

CommandWords SplitCommandLine(const std::string& line) {
    CommandWords result;
    gint argc = 0;
    gchar** argv = nullptr;
    GError* error = nullptr;
    if (!g_shell_parse_argv(line.c_str(), &argc, &argv, &error)) {
        result.error = error != nullptr ? error->message : "?";
        if (error != nullptr) g_error_free(error);
        return result;
    }
    for (gint i = 0; i < argc; ++i) result.words.emplace_back(argv[i]);
    g_strfreev(argv);
    return result;
}

const char* CommandKey(CommandEvent event) {
    switch (event) {
        case CommandEvent::kPicture:
            return "ON_PICTURE";
        case CommandEvent::kStoreFailed:
            return "ON_STORE_FAILED";
        case CommandEvent::kCameraLost:
            return "ON_CAMERA_LOST";
        case CommandEvent::kCameraFound:
            return "ON_CAMERA_FOUND";
    }
    return "";
}

std::string EventCommandsSettings::*CommandField(CommandEvent event) {
    switch (event) {
        case CommandEvent::kPicture:
            return &EventCommandsSettings::ON_PICTURE;
        case CommandEvent::kStoreFailed:
            return &EventCommandsSettings::ON_STORE_FAILED;
        case CommandEvent::kCameraLost:
            return &EventCommandsSettings::ON_CAMERA_LOST;
        case CommandEvent::kCameraFound:
            return &EventCommandsSettings::ON_CAMERA_FOUND;
    }
    return &EventCommandsSettings::ON_PICTURE;
}

const char* CommandEventName(CommandEvent event) {
    switch (event) {
        case CommandEvent::kPicture:
            return "picture";
        case CommandEvent::kStoreFailed:
            return "store-failed";
        case CommandEvent::kCameraLost:
            return "camera-lost";
        case CommandEvent::kCameraFound:
            return "camera-found";
    }
    return "";
}

std::vector<std::pair<std::string, std::string>> CommandEnvironment(const CommandFacts& facts) {
    std::vector<std::pair<std::string, std::string>> environment = {
        {"QUILLOMAT_EVENT", CommandEventName(facts.event)},
        {"QUILLOMAT_TIME", IsoLocalTime(facts.time)},
        {"QUILLOMAT_CAMERA", facts.camera},
    };
    if (facts.event == CommandEvent::kPicture) {
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(facts.picture, error);
        environment.emplace_back("QUILLOMAT_PICTURE", error ? facts.picture : absolute.string());
        environment.emplace_back("QUILLOMAT_TRIGGER", facts.trigger);
    }
    environment.emplace_back("QUILLOMAT_SKIPPED", std::to_string(facts.skipped));
    return environment;
}

std::vector<std::string> ProcessEnvironment(
    const std::vector<std::pair<std::string, std::string>>& added) {
    std::vector<std::string> entries;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        // The service manager's variables are the program's own: a command
        // that used them would speak for the program.
        bool dropped = text.starts_with("NOTIFY_SOCKET=") || text.starts_with("WATCHDOG_USEC=") ||
                       text.starts_with("WATCHDOG_PID=");
        for (const auto& [name, value] : added)
            dropped = dropped || (text.starts_with(name) && text.size() > name.size() &&
                                  text[name.size()] == '=');
        if (!dropped) entries.emplace_back(text);
    }
    for (const auto& [name, value] : added) entries.push_back(name + "=" + value);
    return entries;
}

LogText CommandOutcomeLine(const std::string& key, const ChildProcess::Outcome& outcome) {
    if (outcome.Succeeded()) return std::string();
    const std::string code = std::to_string(outcome.exited ? outcome.exit_code : outcome.signal);
    if (outcome.first_error_line.empty()) {
        return outcome.exited
                   ? TranslatedLogText(
                         "EventCommands",
                         QT_TRANSLATE_NOOP("EventCommands",
                                           "%1 のコマンドが失敗しました (終了コード %2)"),
                         {key, code})
                   : TranslatedLogText(
                         "EventCommands",
                         QT_TRANSLATE_NOOP("EventCommands",
                                           "%1 のコマンドが失敗しました (シグナル %2)"),
                         {key, code});
    }
    return outcome.exited
               ? TranslatedLogText(
                     "EventCommands",
                     QT_TRANSLATE_NOOP("EventCommands",
                                       "%1 のコマンドが失敗しました (終了コード %2): %3"),
                     {key, code, outcome.first_error_line})
               : TranslatedLogText(
                     "EventCommands",
                     QT_TRANSLATE_NOOP("EventCommands",
                                       "%1 のコマンドが失敗しました (シグナル %2): %3"),
                     {key, code, outcome.first_error_line});
}

LogText CommandTimeOutLine(const std::string& key, int seconds) {
    return TranslatedLogText(
        "EventCommands",
        QT_TRANSLATE_NOOP("EventCommands", "%1 のコマンドが %2 秒で終わらないため終了させました"),
        {key, std::to_string(seconds)});
}

LogText CommandNotStartedLine(const std::string& key, const std::string& why) {
    return TranslatedLogText(
        "EventCommands", QT_TRANSLATE_NOOP("EventCommands", "%1 のコマンドを実行できません: %2"),
        {key, why});
}

namespace {

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

}  // namespace

EventCommands::EventCommands(const DiaryJobContext& context)
    : settings_(context.settings), clock_(context.clock), post_line_(context.post_line) {}

void RegisterEventCommands(const DiaryJobContext& context) {
    RegisterSettingsSection(EventCommandsSettingsSection());
    context.events.Subscribe(std::make_shared<EventCommands>(context));
}

EventCommands::~EventCommands() = default;

void EventCommands::Handle(const DiaryEvent& event, const StopSignal&) {
    CommandFacts facts;
    if (const auto* stored = std::get_if<PictureStored>(&event)) {
        facts.event = CommandEvent::kPicture;
        facts.time = stored->capture_time;
        facts.picture = stored->path;
        facts.trigger = TriggerName(stored->trigger);
    } else if (std::holds_alternative<StoreFailed>(event)) {
        facts.event = CommandEvent::kStoreFailed;
    } else if (const auto* gone = std::get_if<CameraGone>(&event)) {
        facts.event = CommandEvent::kCameraLost;
        facts.camera = gone->camera;
    } else if (const auto* back = std::get_if<CameraBack>(&event)) {
        facts.event = CommandEvent::kCameraFound;
        facts.camera = back->camera;
    } else {
        return;
    }
    if (facts.event == CommandEvent::kPicture || facts.event == CommandEvent::kStoreFailed) {
        facts.camera = settings_.Read([](const DiarySettings& s) { return s.SELECT; });
    }
    if (facts.event != CommandEvent::kPicture) facts.time = LocalNow();
    Look();
    Run(facts);
}

void EventCommands::Run(CommandFacts facts) {
    const std::string key = CommandKey(facts.event);
    const auto [line, timeout_seconds, cooldown_seconds] =
        settings_.Read([&](const DiarySettings& s) {
            const EventCommandsSettings& commands = s.Section<EventCommandsSettings>();
            return std::tuple(commands.*CommandField(facts.event), commands.COMMAND_TIMEOUT_SECOND,
                              commands.COOLDOWN_SECOND);
        });
    cooldown_ms_ = static_cast<std::uint32_t>(std::clamp(cooldown_seconds, 0, 86400)) * 1000u;
    if (line.empty()) return;
    PerEvent& per = Of(facts.event);
    if (per.running) {
        ++per.skipped;
        ++per.passed_over;
        return;
    }
    // Passing over within the cooldown is what the user asked for: no line.
    if (CooldownLeftMs(per)) {
        ++per.passed_over;
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    const std::uint32_t tick = clock_.TickMs();
    const auto not_started = [&](const std::string& why) {
        ++per.passed_over;
        if (per.not_started_said && now - *per.not_started_said < kNotStartedSilence) return;
        per.not_started_said = now;
        post_line_(CommandNotStartedLine(key, why));
    };
    const CommandWords words = SplitCommandLine(line);
    if (!words.error.empty()) return not_started(words.error);
    auto running = std::make_unique<Running>();
    std::string error;
    facts.skipped = per.passed_over;
    if (!running->process.Start(words.words, ProcessEnvironment(CommandEnvironment(facts)), error))
        return not_started(error);
    running->timeout_seconds = std::max(1, timeout_seconds);
    running->deadline = now + std::chrono::seconds(running->timeout_seconds);
    per.running = std::move(running);
    per.passed_over = 0;
    per.started_ms = tick;
}

std::optional<std::uint32_t> EventCommands::CooldownLeftMs(PerEvent& per) {
    if (!per.started_ms) return std::nullopt;
    const std::uint32_t since = clock_.TickMs() - *per.started_ms;
    if (since >= cooldown_ms_) {
        per.started_ms.reset();
        return std::nullopt;
    }
    return cooldown_ms_ - since;
}

void EventCommands::Look() {
    const auto now = std::chrono::steady_clock::now();
    for (const CommandEvent event : kCommandEvents) {
        PerEvent& per = Of(event);
        CooldownLeftMs(per);
        if (!per.running) continue;
        Running& running = *per.running;
        const std::string key = CommandKey(event);
        if (running.process.Poll()) {
            if (!running.kill_at && now >= running.deadline) {
                running.process.SignalGroup(SIGTERM);
                running.kill_at = now + kKillGrace;
            } else if (running.kill_at && now >= *running.kill_at) {
                running.process.SignalGroup(SIGKILL);
            }
            continue;
        }
        // Whatever the command left in its group went with it (Poll).
        if (running.kill_at) {
            post_line_(CommandTimeOutLine(key, running.timeout_seconds));
        } else if (const LogText line = CommandOutcomeLine(key, *running.process.outcome());
                   !line.designed.empty()) {
            post_line_(line);
        }
        if (per.skipped > 0) {
            post_line_(TranslatedLogText(
                "EventCommands",
                QT_TRANSLATE_NOOP(
                    "EventCommands",
                    "%1 のコマンドの実行中に来たイベント %2 件では、コマンドを実行しませんでした"),
                {key, std::to_string(per.skipped)}));
            per.skipped = 0;
        }
        per.running.reset();
    }
}

std::optional<std::chrono::milliseconds> EventCommands::NextWake() {
    std::optional<std::chrono::milliseconds> wake;
    const auto sooner = [&](std::chrono::milliseconds at) {
        if (!wake || at < *wake) wake = at;
    };
    for (PerEvent& per : per_event_) {
        if (per.running) sooner(kLookMs);
        // Woken at a cooldown's end, the job forgets the start before the
        // 32-bit tick could wrap around to it.
        if (const auto left = CooldownLeftMs(per)) sooner(std::chrono::milliseconds(*left));
    }
    return wake;
}

void EventCommands::Wake(const StopSignal&) { Look(); }

void EventCommands::End(const StopSignal&) {
    // One grace for all of them, so that the program's stop stays short.
    for (PerEvent& per : per_event_) {
        if (per.running) per.running->process.SignalGroup(SIGTERM);
    }
    const auto give_up = std::chrono::steady_clock::now() + kEndGrace;
    for (bool any = true; any && std::chrono::steady_clock::now() < give_up;) {
        any = false;
        for (PerEvent& per : per_event_) any = (per.running && per.running->process.Poll()) || any;
        if (any) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    for (PerEvent& per : per_event_) {
        if (per.running) per.running->process.End(std::chrono::milliseconds(0));
        per.running.reset();
    }
}

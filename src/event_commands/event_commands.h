#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "events/diary_events.h"
#include "events/diary_job_context.h"
#include "log/log_text.h"
#include "platform/child_process.h"
#include "platform/iso_time.h"

class Clock;
class SharedSettings;
struct EventCommandsSettings;

// A command line split into words as a POSIX shell splits them (quotes,
// backslashes, comments), with nothing expanded; `error` says why a line is
// no command (an unmatched quote, nothing but blanks).
struct CommandWords {
    std::vector<std::string> words;
    std::string error;
};
CommandWords SplitCommandLine(const std::string& line);

// The events a user's command can follow, each with its setting.
enum class CommandEvent { kPicture, kStoreFailed, kCameraLost, kCameraFound };
inline constexpr std::array<CommandEvent, 4> kCommandEvents = {
    CommandEvent::kPicture, CommandEvent::kStoreFailed, CommandEvent::kCameraLost,
    CommandEvent::kCameraFound};

// "ON_PICTURE", ...: the key of the event's command in [EVENTS].
const char* CommandKey(CommandEvent event);
std::string EventCommandsSettings::*CommandField(CommandEvent event);
// QUILLOMAT_EVENT's value: "picture", "store-failed", "camera-lost", "camera-found".
const char* CommandEventName(CommandEvent event);

// The facts of one event as the command's environment: QUILLOMAT_EVENT,
// QUILLOMAT_TIME, QUILLOMAT_CAMERA, for a picture QUILLOMAT_PICTURE
// (absolute) and QUILLOMAT_TRIGGER ("interval" or "motion"), and
// QUILLOMAT_SKIPPED, the events of the kind passed over since its last run.
struct CommandFacts {
    CommandEvent event = CommandEvent::kPicture;
    std::tm time{};
    std::string camera;
    std::string picture;
    std::string trigger;
    int skipped = 0;
};
std::vector<std::pair<std::string, std::string>> CommandEnvironment(const CommandFacts& facts);
// A command's whole environment: the program's less the service manager's
// variables, with `added` set.
std::vector<std::string> ProcessEnvironment(
    const std::vector<std::pair<std::string, std::string>>& added);

// What a command that did not succeed did, for the log ("" when it
// succeeded); `key` names its setting.
LogText CommandOutcomeLine(const std::string& key, const ChildProcess::Outcome& outcome);
LogText CommandTimeOutLine(const std::string& key, int seconds);
LogText CommandNotStartedLine(const std::string& key, const std::string& why);

// Commands on events: for each event its command from [EVENTS], split as a
// POSIX shell would and run without one, from the job's own thread. At most
// one command per event runs at a time: an event that comes meanwhile is
// counted and said when the command ends, never queued. With COOLDOWN_SECOND
// an event's command starts at most that often (the context's clock, from
// the last start); the events in between are passed over without a word.
// Either way the next run gets their number in QUILLOMAT_SKIPPED. A command past
// COMMAND_TIMEOUT_SECOND is ended (SIGTERM to its group, SIGKILL after a
// grace), and whatever a command leaves in its group when it exits goes
// with it (ChildProcess); one that fails has its exit status and first error
// line logged; one that cannot be started is said, with its path, at most
// once a minute.
class EventCommands final : public DiarySubscriber {
public:
    // A command still running this long after SIGTERM gets SIGKILL.
    static constexpr std::chrono::milliseconds kKillGrace{3000};
    // At the program's end a command gets this long after SIGTERM.
    static constexpr std::chrono::milliseconds kEndGrace{300};
    // While a command runs, the job looks at it this often.
    static constexpr std::chrono::milliseconds kLookMs{50};
    static constexpr std::chrono::seconds kNotStartedSilence{60};

    explicit EventCommands(const DiaryJobContext& context);
    ~EventCommands() override;

    std::string Name() const override { return "commands"; }
    void Handle(const DiaryEvent& event, const StopSignal& stop) override;
    std::optional<std::chrono::milliseconds> NextWake() override;
    void Wake(const StopSignal& stop) override;
    void End(const StopSignal& stop) override;

private:
    using SteadyTime = std::chrono::steady_clock::time_point;
    struct Running {
        ChildProcess process;
        SteadyTime deadline{};
        int timeout_seconds = 0;
        std::optional<SteadyTime> kill_at;
    };
    struct PerEvent {
        std::unique_ptr<Running> running;
        // Events that came while the command ran, for the log line.
        int skipped = 0;
        // Events passed over since the last run, for QUILLOMAT_SKIPPED.
        int passed_over = 0;
        // The last start's tick while COOLDOWN_SECOND has not passed since.
        std::optional<std::uint32_t> started_ms;
        std::optional<SteadyTime> not_started_said;
    };

    void Run(CommandFacts facts);
    void Look();
    // The time until `per`'s cooldown ends; nullopt once it has (and forgets
    // its start, so that a tick that wrapped never brings it back).
    std::optional<std::uint32_t> CooldownLeftMs(PerEvent& per);
    PerEvent& Of(CommandEvent event) { return per_event_[static_cast<std::size_t>(event)]; }

    SharedSettings& settings_;
    Clock& clock_;
    std::function<void(const LogText&)> post_line_;
    // COOLDOWN_SECOND as last read, in milliseconds.
    std::uint32_t cooldown_ms_ = 0;
    std::array<PerEvent, kCommandEvents.size()> per_event_;
};

// Registers [EVENTS] and subscribes the job.
void RegisterEventCommands(const DiaryJobContext& context);

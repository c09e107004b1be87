#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "publish/publish_target.h"
#include "publish/rclone_daemon.h"

// The way to the remote: rclone's daemon of ours, the remote's answers to
// what it can do, and the pauses after a failure. A failure is said once
// when the remote goes away; attempts then wait kFirstRetry, doubled each
// time up to kLongestRetry, until Back.
class RemoteConnection {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    static constexpr std::chrono::seconds kFirstRetry{2};
    static constexpr std::chrono::seconds kLongestRetry{300};

    struct Options {
        std::string rclone;  // a name looked up on PATH, or a path
        std::string remote;
        std::string rclone_config;
        std::string bwlimit;
        bool operator==(const Options&) const = default;
    };
    struct Hooks {
        // One of the publishing log texts with its %1.
        std::function<void(const char* text, const std::string& about)> say;
        std::function<TimePoint()> now;
        // The remote went away (what it holds is to be looked at again).
        std::function<void()> went_down;
    };

    explicit RemoteConnection(Hooks hooks) : hooks_(std::move(hooks)) {}
    ~RemoteConnection() { Close(); }

    // Another remote: closed, and no pause left from the last one.
    void Reset(const Options& options);
    // Ready to talk to the remote: rclone there, its daemon running and the
    // remote answering, not in a pause after a failure.
    bool Open(const AbortFn& abort);
    void Close();
    // A failure of the remote (or rclone) that a call answered.
    void Failed(const PublishTarget::Result& result);
    // The remote answered a look again: the next failure is said again.
    // False while the remote still refuses what is sent (then the pause
    // keeps growing, and nothing is said until a file went).
    bool Back();
    // A file went (or was deleted): true when that ends a refusal.
    bool Wrote();
    // Whether rclone is to be found (said once when it is not).
    bool FindRclone();

    // Live only while Open holds.
    PublishTarget& Target() { return *target_; }
    bool Connected() const { return connected_; }
    bool DaemonRunning() { return daemon_ && daemon_->Running(); }
    bool ExactTimes() const { return exact_times_; }
    bool Down() const { return down_; }
    bool Pausing() const { return pausing_; }
    TimePoint RetryAt() const { return retry_at_; }
    bool HasRclone() const { return !rclone_path_.empty(); }
    // `text` (rclone's words) as one line of reasonable length, its secrets masked.
    std::string Masked(const std::string& text) const;

private:
    void GoDown(const char* text, const std::string& about);
    TimePoint Now() const { return hooks_.now(); }

    Hooks hooks_;
    Options options_;
    std::string rclone_path_;
    bool rclone_missing_said_ = false;
    std::unique_ptr<RcloneDaemon> daemon_;
    std::unique_ptr<PublishTarget> target_;
    bool connected_ = false;
    bool exact_times_ = false;
    bool down_ = false;     // the outage line was said
    bool refused_ = false;  // the refusal line was said; until a file goes
    bool pausing_ = false;
    TimePoint retry_at_{};
    std::chrono::seconds backoff_{0};
};

#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "events/diary_events.h"
#include "events/diary_job_context.h"

// Tells the service manager (systemd, Type=notify) how the diary is: ready,
// alive (the watchdog), what it last did, and that it stops. Nothing at all
// where NOTIFY_SOCKET is not set. Every call may come from any thread.
class ServiceWatchdog {
public:
    // Reads NOTIFY_SOCKET and the watchdog's interval (WATCHDOG_USEC, for
    // this process when WATCHDOG_PID is set) once.
    ServiceWatchdog();

    bool Notifying() const { return notifying_; }
    // How often Alive sends WATCHDOG=1: half the watchdog's interval, as
    // sd_watchdog_enabled(3) asks; none when the watchdog is off.
    std::optional<std::chrono::milliseconds> PingInterval() const;

    void Ready(const std::string& status);
    void Status(const std::string& status);
    void Stopping();
    // WATCHDOG=1, unless one went out less than PingInterval ago. Called from
    // the diary worker's own loop, and from the owner's thread only while no
    // worker runs by design (the diary waits for a camera).
    void Alive();

private:
    bool notifying_ = false;
    std::int64_t ping_interval_ns_ = 0;
    std::atomic<std::int64_t> last_ping_ns_{0};
};

// The STATUS= text: "最後の画像 2024/03/15 09:30:05、続けて失敗した保存 0 回".
std::string ServiceStatusText(const std::optional<std::tm>& last_picture, int failed_in_a_row);

// A job after a picture: the service's STATUS= follows the stored pictures
// and the failed stores in a row.
class ServiceStatus final : public DiarySubscriber {
public:
    explicit ServiceStatus(ServiceWatchdog& watchdog) : watchdog_(watchdog) {}
    std::string Name() const override { return "service"; }
    void Handle(const DiaryEvent& event, const StopSignal& stop) override;

private:
    ServiceWatchdog& watchdog_;
    std::optional<std::tm> last_picture_;
    int failed_in_a_row_ = 0;
    // While the recording hours hold the diary off: "録画時間外 07:00 まで".
    std::string paused_;
};

// Subscribes ServiceStatus where it applies: only where a service manager
// listens (`watchdog` Notifying).
void RegisterServiceStatus(const DiaryJobContext& context, ServiceWatchdog& watchdog);

#include "watchdog/service_watchdog.h"

#include <systemd/sd-daemon.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <variant>

namespace {

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

ServiceWatchdog::ServiceWatchdog() {
    const char* socket = std::getenv("NOTIFY_SOCKET");
    notifying_ = socket != nullptr && *socket != '\0';
    std::uint64_t usec = 0;
    // The variables stay: sd_notify reads NOTIFY_SOCKET at every call. The
    // commands on events get none of them (see ProcessEnvironment).
    if (notifying_ && sd_watchdog_enabled(0, &usec) > 0 && usec > 0)
        ping_interval_ns_ = static_cast<std::int64_t>(usec) * 1000 / 2;
}

std::optional<std::chrono::milliseconds> ServiceWatchdog::PingInterval() const {
    if (ping_interval_ns_ <= 0) return std::nullopt;
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::nanoseconds(ping_interval_ns_));
}

void ServiceWatchdog::Ready(const std::string& status) {
    if (notifying_) sd_notify(0, ("READY=1\nSTATUS=" + status).c_str());
}

void ServiceWatchdog::Status(const std::string& status) {
    if (notifying_) sd_notify(0, ("STATUS=" + status).c_str());
}

void ServiceWatchdog::Stopping() {
    if (notifying_) sd_notify(0, "STOPPING=1");
}

void ServiceWatchdog::Alive() {
    if (ping_interval_ns_ <= 0) return;
    const std::int64_t now = NowNs();
    std::int64_t last = last_ping_ns_.load();
    if (last != 0 && now - last < ping_interval_ns_) return;
    // One thread sends it when the worker and the owner come at once.
    if (!last_ping_ns_.compare_exchange_strong(last, now)) return;
    sd_notify(0, "WATCHDOG=1");
}

std::string ServiceStatusText(const std::optional<std::tm>& last, int failed_in_a_row) {
    char picture[80] = "なし";
    if (last) {
        std::snprintf(picture, sizeof picture, "%04d/%02d/%02d %02d:%02d:%02d",
                      last->tm_year + 1900, last->tm_mon + 1, last->tm_mday, last->tm_hour,
                      last->tm_min, last->tm_sec);
    }
    return std::string("最後の画像 ") + picture + "、続けて失敗した保存 " +
           std::to_string(failed_in_a_row) + " 回";
}

void ServiceStatus::Handle(const DiaryEvent& event, const StopSignal&) {
    if (const auto* stored = std::get_if<PictureStored>(&event)) {
        last_picture_ = stored->capture_time;
        failed_in_a_row_ = 0;
    } else if (std::holds_alternative<StoreFailed>(event)) {
        ++failed_in_a_row_;
    } else if (const auto* paused = std::get_if<RecordingPaused>(&event)) {
        // Not stuck: said so, so that nobody restarts a diary that waits.
        paused_ = "録画時間外";
        if (paused->has_until) {
            const std::time_t now = std::time(nullptr);
            std::tm local{};
            localtime_r(&now, &local);
            paused_ += " " + PauseEndText(paused->until, local) + " まで";
        }
    } else if (std::holds_alternative<RecordingResumed>(event)) {
        paused_.clear();
    } else {
        return;
    }
    const std::string text = ServiceStatusText(last_picture_, failed_in_a_row_);
    watchdog_.Status(paused_.empty() ? text : paused_ + "、" + text);
}

void RegisterServiceStatus(const DiaryJobContext& context, ServiceWatchdog& watchdog) {
    if (watchdog.Notifying()) context.events.Subscribe(std::make_shared<ServiceStatus>(watchdog));
}

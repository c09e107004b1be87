#pragma once

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_window.h"
#include "capture/device_chooser.h"
#include "capture/device_dialogs.h"
#include "capture/worker_control.h"
#include "platform/clock.h"
#include "platform/prompts.h"
#include "platform/stop_signal.h"

// Real time divided by a factor: real frames keep arriving while the waits of
// the grab protocol take a tenth of their time.
class ScaledClock final : public Clock {
public:
    explicit ScaledClock(std::uint32_t divisor) : divisor_(divisor) {}
    std::uint32_t TickMs() override { return SystemClockInstance().TickMs() * divisor_; }
    bool SleepMs(std::uint32_t duration_ms, const StopSignal* stop) override {
        return SystemClockInstance().SleepMs(duration_ms / divisor_, stop);
    }
    std::tm LocalNow() override { return SystemClockInstance().LocalNow(); }

private:
    std::uint32_t divisor_;
};

class RecordingPrompts final : public Prompts {
public:
    void ShowMessage(const std::string& text) override {
        std::lock_guard lock(mutex_);
        messages_.push_back(text);
    }
    bool AskYesNo(const std::string& text) override {
        std::function<bool()> answer;
        {
            std::lock_guard lock(mutex_);
            questions_.push_back(text);
            answer = on_question;
        }
        return answer ? answer() : true;
    }
    std::vector<std::string> messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    std::vector<std::string> questions() const {
        std::lock_guard lock(mutex_);
        return questions_;
    }
    std::function<bool()> on_question;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_, questions_;
};

// Answers from a script; without one it cancels.
class ScriptedChooser final : public DeviceChooser {
public:
    struct Call {
        std::vector<std::string> names;
        int initial;
    };
    DeviceChoice ChooseDevice(const std::vector<std::string>& names, int initial_index) override {
        calls.push_back({names, initial_index});
        if (answers.empty()) return {};
        const DeviceChoice answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<DeviceChoice> answers;
    std::vector<Call> calls;
};

class RecordingWindow final : public CaptureWindow {
public:
    void PostTitle(const std::string& title) override {
        std::lock_guard lock(mutex_);
        titles_.push_back(title);
    }
    void PostPreviewSource(std::shared_ptr<PreviewSource> source) override {
        std::lock_guard lock(mutex_);
        preview_ = std::move(source);
    }
    std::vector<std::string> titles() const {
        std::lock_guard lock(mutex_);
        return titles_;
    }
    std::shared_ptr<PreviewSource> preview() const {
        std::lock_guard lock(mutex_);
        return preview_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> titles_;
    std::shared_ptr<PreviewSource> preview_;
};

class ScriptedDialogs final : public DeviceDialogs {
public:
    bool ShowFormatDialog(const std::vector<DeviceFormatOffer>& offers,
                          DeviceFormat& format) override {
        offered = offers;
        shown_format = format;
        ++format_dialogs;
        if (!choose) return false;
        format = *choose;
        return true;
    }
    void ShowControlsDialog(
        const std::string& caption, const std::vector<DeviceControl>& controls,
        const std::function<void(const std::string&, int)>& set_value) override {
        controls_caption = caption;
        shown_controls = controls;
        ++controls_dialogs;
        for (const auto& [name, value] : changes) set_value(name, value);
    }

    std::optional<DeviceFormat> choose;
    std::vector<std::pair<std::string, int>> changes;
    std::vector<DeviceFormatOffer> offered;
    DeviceFormat shown_format;
    std::vector<DeviceControl> shown_controls;
    std::string controls_caption;
    int format_dialogs = 0, controls_dialogs = 0;
};

// Starts and stops a worker thread running `body` until the stop request,
// as the diary worker does.
class FakeWorker final : public WorkerControl {
public:
    explicit FakeWorker(StopSignal& stop) : stop_(stop) {}
    ~FakeWorker() override { StopDiaryWorker(); }

    bool StartDiaryWorker() override {
        starts.fetch_add(1);
        if (running_.load() || !body) return false;
        stop_.Clear();
        if (thread_.joinable()) thread_.join();
        running_.store(true);
        thread_ = std::thread([this] {
            while (!stop_.IsSet()) body(stop_);
            running_.store(false);
        });
        return true;
    }
    void StopDiaryWorker() override {
        stops.fetch_add(1);
        stop_.Request();
        if (thread_.joinable()) thread_.join();
    }
    void ReopenDiaryWorker() override { reopens.fetch_add(1); }

    std::function<void(StopSignal&)> body;
    std::atomic<int> starts{0}, stops{0}, reopens{0};

private:
    StopSignal& stop_;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

// Sets QUILLOMAT_TEST_DEVICES for one test and restores it afterwards.
class ScopedTestDevices {
public:
    explicit ScopedTestDevices(const char* value) {
        if (const char* old = std::getenv("QUILLOMAT_TEST_DEVICES")) old_ = old;
        ::setenv("QUILLOMAT_TEST_DEVICES", value, 1);
    }
    ~ScopedTestDevices() {
        if (old_) {
            ::setenv("QUILLOMAT_TEST_DEVICES", old_->c_str(), 1);
        } else {
            ::unsetenv("QUILLOMAT_TEST_DEVICES");
        }
    }
    void Set(const char* value) { ::setenv("QUILLOMAT_TEST_DEVICES", value, 1); }

private:
    std::optional<std::string> old_;
};

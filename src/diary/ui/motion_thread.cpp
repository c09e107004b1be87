#include "diary/ui/motion_thread.h"

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "capture/frame_grab.h"
#include "capture/frame_source.h"
#include "diary/motion_detection.h"
#include "platform/clock.h"
#include "platform/stop_signal.h"
#include "platform/thread_priority.h"

namespace {

constexpr std::uint32_t kPassSleepMs = 10;
constexpr std::uint32_t kFreshPollMs = 100;
constexpr auto kStopWaitStep = std::chrono::milliseconds(50);

}  // namespace

int RunMotionLoop(const MotionRunInputs& in, const StopSignal& stop) {
    if (!in.has_grabber || !in.has_grabber()) return -1;
    FrameSource& source = in.source;
    source.SetBufferSamples(true);
    // The preview graph runs already; unlike its build, this wait ends on a
    // stop, so that closing the dialog at once is not held up by it.
    RunGraphAndWait(source, in.clock, &stop);

    std::size_t size = source.ConnectedFormat().SizeBytes();
    source.QueryBufferSize(size);
    if (size == 0) return -1;
    std::vector<std::uint8_t> frame, previous;
    std::unique_ptr<MotionReference> reference(new (std::nothrow) MotionReference());
    try {
        frame.resize(size);
        previous.resize(size);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    if (!reference) return -1;

    std::uint32_t last_check_ms = in.clock.TickMs();
    while (!stop.IsSet()) {
        if (static_cast<std::uint32_t>(in.clock.TickMs() - last_check_ms) <= in.check_period_ms) {
            in.clock.SleepMs(kPassSleepMs, &stop);
            continue;
        }
        last_check_ms = in.clock.TickMs();
        if (in.checks) in.checks->fetch_add(1);

        // A fresh frame: one that differs from the frame current at the
        // check. No lock and no rebuild: a camera that stops just makes this
        // wait, which a stop ends.
        std::fill(previous.begin(), previous.end(), std::uint8_t{0});
        source.CopyCurrentBuffer(previous.data(), size);
        bool fresh = false;
        while (!stop.IsSet()) {
            if (in.clock.SleepMs(kFreshPollMs, &stop)) break;
            if (source.CopyCurrentBuffer(frame.data(), size) &&
                std::memcmp(frame.data(), previous.data(), size) != 0) {
                fresh = true;
                break;
            }
        }
        if (!fresh) continue;
        // The first fresh frame only fills the reference.
        if (const auto score = MeasureMotion(frame.data(), size, *reference)) {
            if (in.push_score) in.push_score(*score);
        }
    }
    return 0;
}

struct MotionThread::Run {
    StopSignal stop;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable ended_cv;
    bool ended = false;
    int exit_code = 0;
};

MotionThread::~MotionThread() { Shutdown(); }

void MotionThread::Shutdown() {
    StopMotionThread();
    if (!run_) return;
    if (run_->thread.joinable()) run_->thread.join();
    last_exit_code_ = run_->exit_code;
    run_.reset();
}

bool MotionThread::IsRunning() const {
    if (!run_) return false;
    std::lock_guard lock(run_->mutex);
    return !run_->ended;
}

std::optional<int> MotionThread::LastExitCode() const {
    if (run_) {
        std::lock_guard lock(run_->mutex);
        if (!run_->ended) return std::nullopt;
        return run_->exit_code;
    }
    return last_exit_code_;
}

bool MotionThread::StartMotionThread(MotionRunInputs inputs) {
    if (run_) {
        {
            std::lock_guard lock(run_->mutex);
            if (!run_->ended && !run_->stop.IsSet()) return false;
        }
        // A run left behind by a forced stop ends at its next check.
        if (run_->thread.joinable()) run_->thread.join();
        run_.reset();
    }
    auto run = std::make_shared<Run>();
    try {
        run->thread = std::thread([run, inputs = std::move(inputs)] {
            LowerThreadToIdlePriority();
            pthread_setname_np(pthread_self(), "motion check");
            const int code = RunMotionLoop(inputs, run->stop);
            std::lock_guard lock(run->mutex);
            run->exit_code = code;
            run->ended = true;
            run->ended_cv.notify_all();
        });
    } catch (const std::system_error&) {
        return false;
    }
    run_ = std::move(run);
    last_stop_forced_ = false;
    return true;
}

void MotionThread::StopMotionThread() {
    // The events processed while waiting may ask for the same stop.
    if (!run_ || stopping_) return;
    stopping_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{stopping_};
    run_->stop.Request();
    int waited_ms = 0;
    bool ended = false;
    while (!ended) {
        {
            std::unique_lock lock(run_->mutex);
            ended = run_->ended_cv.wait_for(lock, kStopWaitStep, [&] { return run_->ended; });
        }
        if (ended || waited_ms > kForcedEndAfterMs) break;
        if (process_events_) process_events_();
        waited_ms += static_cast<int>(kStopWaitStep.count());
    }
    last_stop_forced_ = !ended;
    if (!ended) return;  // joined by the next start or stop, or the destructor
    run_->thread.join();
    last_exit_code_ = run_->exit_code;
    run_.reset();
}

#include "diary/diary_worker.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <new>
#include <thread>

#include "diary/motion_detection.h"
#include "diary/motion_filters.h"
#include "diary/motion_settings.h"
#include "diary/picture_store.h"
#include "diary/schedule_gate.h"
#include "log/diary_notice.h"
#include "platform/clock.h"
#include "platform/stop_signal.h"
#include "platform/thread_priority.h"
#include "settings/shared_settings.h"

namespace {

constexpr std::uint32_t kPassSleepMs = 10;
// A pass with nothing due sleeps until the next deadline, but never longer
// than this, so that ON/OFF still takes effect at once to a person.
constexpr std::uint32_t kLongestPassSleepMs = 250;
constexpr std::uint32_t kIntervalAllowanceMs = 100;
constexpr auto kStopWaitStep = std::chrono::milliseconds(50);

// What a run takes from the settings when it starts; changes reach the worker
// only through a restart (every graph rebuild restarts it).
struct RunSettings {
    std::uint32_t check_period_ms = 0;
    int motion_level = 0;
    std::uint32_t motion_distance_ms = 0;
    std::uint32_t interval_ms = 0;
    bool storing_allowed = false;
    bool motion_detect = false;
    std::uint32_t settle_max_ms = 0;
    int light_switch_percent = 0;
    int min_motion_frames = 1;
    // Unset (the default section) leaves the designed worker as it was.
    std::optional<ScheduleSettings> schedule;
};

RunSettings TakeRunSettings(const SharedSettings& shared) {
    return shared.Read([](const DiarySettings& s) {
        RunSettings r;
        r.check_period_ms = static_cast<std::uint32_t>(s.MOTION_DETECT_UPDATE);
        r.motion_level = s.MOTION_DETECT_LEVEL;
        r.motion_distance_ms = static_cast<std::uint32_t>(s.MOTION_DETECT_INTERVAL) * 1000u;
        // Unsigned 32-bit arithmetic, as the tick differences are.
        r.interval_ms = (static_cast<std::uint32_t>(s.INTERVAL_HOUR) * 3600u +
                         static_cast<std::uint32_t>(s.INTERVAL_MINUTE) * 60u +
                         static_cast<std::uint32_t>(s.INTERVAL_SECOND)) *
                        1000u;
        r.storing_allowed = !s.SAVE_DIRECTORY.empty();
        r.motion_detect = s.MOTION_DETECT;
        r.settle_max_ms = static_cast<std::uint32_t>(std::max(0, s.SETTLE_MAX_MS));
        const auto& motion = s.Section<MotionSettings>();
        r.light_switch_percent = motion.LIGHTSWITCH_PERCENT;
        r.min_motion_frames = motion.MIN_FRAMES;
        const auto& schedule = s.Section<ScheduleSettings>();
        if (schedule != ScheduleSettings{}) r.schedule = schedule;
        return r;
    });
}

class ReferenceMeter final : public MotionMeter {
public:
    std::optional<int> Measure(const std::uint8_t* frame, std::size_t size) override {
        return MeasureMotion(frame, size, reference_);
    }
    void Restart() override { reference_.Clear(); }

private:
    MotionReference reference_;
};

// A released camera is opened again this long before it is needed, so that
// the run wait and the settle wait end before the first picture is due.
std::int64_t CameraLeadMs(const RunSettings& settings, const CaptureTimings& timings) {
    return 3000 + static_cast<std::int64_t>(settings.settle_max_ms) + 3 * timings.run_wait_ms;
}

std::tm LocalTimeOf(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return local;
}

}  // namespace

std::unique_ptr<MotionMeter> MakeMotionReferenceMeter() {
    return std::unique_ptr<MotionMeter>(new (std::nothrow) ReferenceMeter());
}

struct DiaryWorker::Run {
    StopSignal stop;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable ended_cv;
    bool ended = false;
    int exit_code = 0;
};

DiaryWorker::DiaryWorker(DiaryWorkerDependencies deps) : deps_(std::move(deps)) {}

namespace {
// The run whose thread this is, if any.
thread_local const void* t_run = nullptr;
}  // namespace

DiaryWorker::~DiaryWorker() {
    {
        std::lock_guard lock(runs_mutex_);
        destroying_ = true;
    }
    StopDiaryWorker();
    // Every wait of a run ends on its stop, so these end soon; they still use
    // the source and the store, which outlive the worker.
    std::vector<std::shared_ptr<Run>> left;
    {
        std::lock_guard lock(runs_mutex_);
        left = std::move(left_);
        left_.clear();
    }
    for (const auto& each : left) each->thread.join();
}

bool DiaryWorker::IsRunning() const {
    std::lock_guard lock(runs_mutex_);
    if (!run_) return false;
    std::lock_guard run_lock(run_->mutex);
    return !run_->ended;
}

std::optional<int> DiaryWorker::LastExitCode() const {
    std::lock_guard lock(runs_mutex_);
    if (run_) {
        std::lock_guard run_lock(run_->mutex);
        if (run_->ended) return run_->exit_code;
        return std::nullopt;
    }
    return last_exit_code_;
}

std::size_t DiaryWorker::LeftRuns() const {
    std::lock_guard lock(runs_mutex_);
    std::size_t count = 0;
    for (const auto& each : left_) {
        std::lock_guard run_lock(each->mutex);
        if (!each->ended) ++count;
    }
    return count;
}

void DiaryWorker::JoinEnded(std::vector<std::shared_ptr<Run>>& runs) {
    std::erase_if(runs, [](const std::shared_ptr<Run>& each) {
        {
            std::lock_guard run_lock(each->mutex);
            if (!each->ended) return false;
        }
        each->thread.join();
        return true;
    });
}

void DiaryWorker::ReopenDiaryWorker() {
    std::lock_guard lock(runs_mutex_);
    if (t_run != nullptr || destroying_) return;
    closed_ = false;
}

bool DiaryWorker::StartDiaryWorker() {
    std::lock_guard lock(runs_mutex_);
    // Checked under the mutex that a stop takes the runs away under, so that
    // no start slips in between a stop's request and its hand-over.
    if (closed_ || stops_under_way_ > 0) return false;
    if (t_run != nullptr) {
        // The rebuild of a recovery that released this very run: the new run
        // takes over, and this one ends as soon as its grab returns. It is
        // joined later, never detached. Any other run starts nothing.
        if (run_.get() != t_run || !run_->stop.IsSet()) return false;
        retiring_.push_back(std::move(run_));
    } else if (run_) {
        {
            std::lock_guard run_lock(run_->mutex);
            if (!run_->ended) return false;
        }
        run_->thread.join();
        run_.reset();
    }
    JoinEnded(retiring_);
    JoinEnded(left_);
    auto run = std::make_shared<Run>();
    // Every long wait of a run (the store's fresh frame, the settle wait, a
    // recovery's rebuild) waits on its stop, so the run is heard while it waits.
    if (deps_.on_pass) run->stop.SetWhileWaiting(deps_.on_pass);
    try {
        // The thread shares ownership of its run, so the run's state lives
        // until the thread finishes even when a stop let go of it.
        run->thread = std::thread([this, run] {
            t_run = run.get();
            LowerThreadToIdlePriority();
            pthread_setname_np(pthread_self(), "diary worker");
            DiaryWorkerProc(*run);
        });
    } catch (const std::system_error&) {
        return false;
    }
    run_ = std::move(run);
    return true;
}

void DiaryWorker::StopDiaryWorker() {
    if (t_run != nullptr) {
        // Asked from a run itself (a recovery release): it ends when it next
        // checks, and the rebuild that follows starts the next one. It stays
        // registered meanwhile, so a stop from elsewhere waits for it.
        std::lock_guard lock(runs_mutex_);
        if (run_.get() == t_run) run_->stop.Request();
        return;
    }
    std::vector<std::shared_ptr<Run>> runs;
    {
        std::lock_guard lock(runs_mutex_);
        closed_ = true;
        ++stops_under_way_;
        stop_request_.Request();
        runs = std::move(left_);
        left_.clear();
        for (auto& each : retiring_) runs.push_back(std::move(each));
        retiring_.clear();
        if (run_) runs.push_back(std::move(run_));
        for (const auto& each : runs) each->stop.Request();
    }
    int waited_ms = 0;
    std::vector<std::shared_ptr<Run>> left;
    std::optional<int> exit_code;
    for (const auto& each : runs) {
        bool ended = false;
        while (!ended) {
            {
                std::unique_lock run_lock(each->mutex);
                ended =
                    each->ended_cv.wait_for(run_lock, kStopWaitStep, [&] { return each->ended; });
            }
            if (ended || waited_ms > deps_.forced_end_after_ms) break;
            if (process_events_) process_events_();
            waited_ms += static_cast<int>(kStopWaitStep.count());
        }
        if (ended) {
            each->thread.join();
            exit_code = each->exit_code;
        } else {
            // Forced end: nothing is killed or detached. The run finishes by
            // itself as soon as a blocking call returns, and stays here until
            // it is joined.
            left.push_back(each);
        }
    }
    std::lock_guard lock(runs_mutex_);
    for (auto& each : left) left_.push_back(std::move(each));
    last_stop_forced_.store(!left_.empty());
    if (!runs.empty()) last_exit_code_ = left_.empty() ? exit_code.value_or(0) : 0;
    if (--stops_under_way_ == 0) stop_request_.Clear();
}

void DiaryWorker::DiaryWorkerProc(Run& run) {
    auto finish = [&run](int code) {
        std::lock_guard lock(run.mutex);
        run.exit_code = code;
        run.ended = true;
        run.ended_cv.notify_all();
    };
    const RunSettings settings = TakeRunSettings(deps_.settings);
    // A press while no camera ran is no picture of when it comes back.
    picture_asked_.store(false);
    Clock& clock = deps_.clock;
    const GrabContext context{deps_.source, deps_.graph,   clock,
                              run.stop,     deps_.timings, settings.settle_max_ms};

    const std::size_t frame_size = QueryFrameSize(context);
    std::unique_ptr<std::uint8_t[]> frame(new (std::nothrow)
                                              std::uint8_t[frame_size > 0 ? frame_size : 1]());
    if (!frame) return finish(-1);
    std::unique_ptr<MotionMeter> meter =
        deps_.make_motion_meter ? deps_.make_motion_meter() : nullptr;
    if (!meter) return finish(-1);
    LightSwitchFilter light(settings.light_switch_percent);
    LastingMotion lasting(settings.min_motion_frames);

    std::uint32_t last_motion_store = clock.TickMs();
    std::uint32_t last_motion_check = last_motion_store;

    // The recording hours are the one setting a run follows while it runs:
    // their tab is edited while the worker goes on.
    std::optional<ScheduleSettings> schedule = settings.schedule;
    std::uint64_t settings_seen = deps_.settings.Generation();
    std::optional<ScheduleGate> gate;
    if (schedule) gate.emplace(*schedule, settings.interval_ms, clock.WallMs());

    // Time until the earliest trigger can fire, between the 10 ms pass and
    // the longest pass sleep.
    auto sleep_for = [&](std::uint32_t now, const ScheduleGate::Look& look) {
        std::uint32_t wait = kLongestPassSleepMs;
        // An interval on the clock waits for its grid point, which the gate keeps.
        if (settings.interval_ms != 0 && look.interval_allowed &&
            !(gate && gate->IntervalOnTheClock())) {
            const std::uint32_t since = now - last_interval_save_tick_.load();
            const std::uint32_t due =
                settings.interval_ms - std::min(settings.interval_ms, kIntervalAllowanceMs);
            wait = std::min(wait, due > since ? due - since : 0u);
        }
        if (settings.motion_detect && look.motion_allowed && frame_size > 0) {
            const std::uint32_t since = now - last_motion_check;
            wait = std::min(wait, settings.check_period_ms >= since
                                      ? settings.check_period_ms - since + 1
                                      : 0u);
        }
        return std::max(wait, kPassSleepMs);
    };

    const auto passing = [this] {
        if (deps_.on_pass) deps_.on_pass();
    };
    // The recording hours' state as last said; nothing is said until the
    // first active pass.
    std::optional<bool> said_recording;
    bool camera_released = false;
    // Something records now, or the hours begin or a set time comes within
    // the time it takes to open the camera and let it settle.
    const std::int64_t camera_lead_ms = CameraLeadMs(settings, deps_.timings);
    const auto camera_wanted_soon = [camera_lead_ms](const ScheduleGate& gate,
                                                     const ScheduleGate::Look& look,
                                                     std::int64_t wall_ms) {
        if (look.interval_allowed || look.motion_allowed) return true;
        std::optional<std::time_t> needed = gate.NextChange();
        if (const auto set_time = gate.NextSetTime())
            needed = needed ? std::min(*needed, *set_time) : set_time;
        return needed && static_cast<std::int64_t>(*needed) * 1000 - wall_ms <= camera_lead_ms;
    };
    const auto publish = [this](DiaryEvent event) {
        if (deps_.events != nullptr) deps_.events->Publish(std::move(event));
    };
    while (!run.stop.IsSet()) {
        passing();
        // Asked for, it is stored on the air or off it and outside the hours.
        if (picture_asked_.exchange(false) && settings.storing_allowed) {
            deps_.store_picture(run.stop, PictureTrigger::kRequest);
            passing();
        }
        if (!settings.storing_allowed || !deps_.settings.OnAir()) {
            clock.SleepMs(kLongestPassSleepMs, &run.stop);
            continue;
        }
        if (const std::uint64_t generation = deps_.settings.Generation();
            generation != settings_seen) {
            settings_seen = generation;
            std::optional<ScheduleSettings> now_set =
                deps_.settings.Read([](const DiarySettings& s) {
                    const auto& section = s.Section<ScheduleSettings>();
                    return section != ScheduleSettings{} ? std::optional(section) : std::nullopt;
                });
            if (now_set != schedule) {
                schedule = std::move(now_set);
                gate.reset();
                if (schedule) gate.emplace(*schedule, settings.interval_ms, clock.WallMs());
                // Without hours the diary records: a pause ends here. A camera
                // let go is opened again by the next grab.
                if (!gate && said_recording == false) publish(RecordingResumed{});
                if (!gate) said_recording.reset();
                camera_released = camera_released && gate.has_value();
            }
        }
        const std::uint32_t now = clock.TickMs();
        const std::int64_t wall_ms = gate ? clock.WallMs() : 0;
        const ScheduleGate::Look look = gate ? gate->Pass(wall_ms) : ScheduleGate::Look{};
        if (gate && said_recording != look.recording) {
            if (look.recording) {
                if (said_recording) publish(RecordingResumed{});
                // The reference of before the pause is no picture of now.
                if (said_recording) meter = deps_.make_motion_meter();
                if (!meter) return finish(-1);
                light = LightSwitchFilter(settings.light_switch_percent);
                lasting = LastingMotion(settings.min_motion_frames);
                last_motion_check = now;
            } else {
                RecordingPaused paused;
                if (const auto until = gate->NextChange()) {
                    paused.until = LocalTimeOf(*until);
                    paused.has_until = true;
                }
                publish(paused);
            }
            said_recording = look.recording;
        }

        // A camera let go is opened again, and its settling waited out,
        // before a picture needs it, not in the first picture's store.
        if (camera_released && camera_wanted_soon(*gate, look, wall_ms)) {
            GrabFreshFrame(
                context, GrabCaller::kWorker, [&](std::size_t) { return frame.get(); }, frame_size);
            camera_released = false;
            if (run.stop.IsSet()) break;
        }

        if (look.set_time_due) {
            deps_.store_picture(run.stop, PictureTrigger::kTime);
            passing();
        }

        if (settings.interval_ms != 0 && look.interval_allowed) {
            const bool due = gate && gate->IntervalOnTheClock()
                                 ? look.grid_point_due
                                 : (now - last_interval_save_tick_.load()) + kIntervalAllowanceMs >=
                                       settings.interval_ms;
            if (due) {
                deps_.store_picture(run.stop, PictureTrigger::kInterval);
                last_interval_save_tick_.store(now);
                passing();
            }
        }

        if (settings.motion_detect && look.motion_allowed && frame_size > 0 &&
            now - last_motion_check > settings.check_period_ms) {
            GrabFreshFrame(
                context, GrabCaller::kWorker, [&](std::size_t) { return frame.get(); }, frame_size);
            if (run.stop.IsSet()) break;
            const LightSwitchFilter::Light change = light.Look(frame.get(), frame_size);
            if (change == LightSwitchFilter::Light::kJumped) meter->Restart();
            const std::optional<int> score = meter->Measure(frame.get(), frame_size);
            const bool above = score && *score > settings.motion_level &&
                               change == LightSwitchFilter::Light::kSteady;
            if (lasting.Count(above) && now - last_motion_store >= settings.motion_distance_ms) {
                // A dark picture that was not stored is no motion to report.
                if (deps_.store_picture(run.stop, PictureTrigger::kMotion) == kStoreOk)
                    deps_.notices.Post(kNoticeMotionDetected);
                last_motion_store = now;
                lasting.Stored();
            }
            last_motion_check = now;
        }
        // Let go only after this pass's pictures, when nothing needs it for
        // longer than it takes to open it again.
        if (gate && gate->ReleasesCamera() && !camera_released &&
            !camera_wanted_soon(*gate, look, clock.WallMs()) && LockGraph(deps_.graph, run.stop)) {
            deps_.source.ReleaseDevice();
            deps_.graph.lock.unlock();
            camera_released = true;
        }
        std::uint32_t sleep_ms = sleep_for(clock.TickMs(), look);
        if (gate) {
            const std::int64_t until_next = gate->MsUntilNext(clock.WallMs());
            // Wakes on the very millisecond, so that a grid point or a set
            // time names its picture by its own second.
            sleep_ms = static_cast<std::uint32_t>(
                std::min<std::int64_t>(sleep_ms, std::max<std::int64_t>(1, until_next)));
        }
        clock.SleepMs(sleep_ms, &run.stop);
    }
    finish(0);
}

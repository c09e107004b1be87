#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "capture/frame_grab.h"
#include "capture/worker_control.h"
#include "events/diary_event.h"
#include "platform/stop_signal.h"

class Clock;
class NoticeSink;
class SharedSettings;
class StopSignal;

// Scores a frame against the run's reference; nullopt for the first frame of a
// run, which only fills the reference.
class MotionMeter {
public:
    virtual ~MotionMeter() = default;
    virtual std::optional<int> Measure(const std::uint8_t* frame, std::size_t size) = 0;
    // The next measurement starts afresh: it gives no score.
    virtual void Restart() {}
};

// The real meter: MeasureMotion against a reference owned by one run.
std::unique_ptr<MotionMeter> MakeMotionReferenceMeter();

struct DiaryWorkerDependencies {
    FrameSource& source;
    GraphState& graph;
    Clock& clock;
    SharedSettings& settings;
    NoticeSink& notices;
    // Stores one picture (the picture store's StorePicture); negative on failure.
    std::function<std::int32_t(const StopSignal& stop, PictureTrigger trigger)> store_picture;
    // A fresh reference per run; nullptr when it cannot be allocated.
    std::function<std::unique_ptr<MotionMeter>()> make_motion_meter;
    // The waits of the worker's grabs.
    CaptureTimings timings = {};
    // A stop gives up waiting for a run after this.
    int forced_end_after_ms = 3000;
    // Called on the worker's thread at every pass of its loop, between
    // the interval store and the motion check of a pass, and every 100 ms
    // of any wait on the run's stop (a service watchdog's sign of life);
    // may be empty.
    std::function<void()> on_pass = {};
    // Hears when the recording hours pause and resume the diary; may be null.
    EventPublisher* events = nullptr;
};

// The one background thread that decides when a picture is stored: at the
// interval, on motion and at the set times, within the recording hours. It runs at the lowest
// normal priority, and all its waits (sleeps, the graph lock, the run wait, the grab) end at once
// on its run's stop, so a stop never has to kill it.
//
// Starts and stops, all under one mutex:
// - A stop from a thread that is not a run's closes the worker: it refuses
//   every start until ReopenDiaryWorker, which a build on a thread that is
//   not a run's calls. While any such stop is under way, starts are refused
//   as well.
// - On a run's own thread a start succeeds only for the current run that
//   stopped itself (a recovery's release and rebuild): the new run takes
//   over. A run that a stop has taken away can never start another, and a
//   run cannot reopen the worker.
// - A stop that gives up waiting (the forced end) keeps the run; the next
//   stop waits for it again and the destructor joins it, so no run outlives
//   the worker.
class DiaryWorker final : public WorkerControl {
public:
    explicit DiaryWorker(DiaryWorkerDependencies deps);
    // Closes, stops, and waits without bound for any run a forced end left.
    ~DiaryWorker() override;
    DiaryWorker(const DiaryWorker&) = delete;
    DiaryWorker& operator=(const DiaryWorker&) = delete;

    bool StartDiaryWorker() override;
    void StopDiaryWorker() override;
    void ReopenDiaryWorker() override;

    // Called every 50 ms while StopDiaryWorker waits, so that the caller's
    // thread keeps processing its events.
    void SetProcessEvents(std::function<void()> process_events) {
        process_events_ = std::move(process_events);
    }

    bool IsRunning() const;
    // Exit code of the last run that ended: 0 after a stop, -1 when a buffer
    // could not be allocated; nullopt while running or before any run.
    std::optional<int> LastExitCode() const;

    // True when the last stop gave up waiting (the run ends on its own later
    // and is joined by a later stop or the destructor).
    bool LastStopWasForced() const { return last_stop_forced_.load(); }
    // Runs a forced end left that have not ended yet.
    std::size_t LeftRuns() const;

    // Any thread: the running worker stores a diary picture at its next pass
    // (at most 250 ms), with PictureTrigger::kRequest; presses before that
    // pass make one picture, and one while no run is under way none.
    void AskForPicture() { picture_asked_.store(true); }

    // Set while a StopDiaryWorker from another thread is under way.
    const StopSignal& StopRequest() const { return stop_request_; }

private:
    struct Run;
    void DiaryWorkerProc(Run& run);
    // Joins the runs in `runs` that have ended; holds runs_mutex_.
    static void JoinEnded(std::vector<std::shared_ptr<Run>>& runs);

    DiaryWorkerDependencies deps_;
    std::function<void()> process_events_;
    // Tick of the last interval store; survives worker restarts.
    std::atomic<std::uint32_t> last_interval_save_tick_{0};
    std::atomic<bool> picture_asked_{false};

    mutable std::mutex runs_mutex_;
    std::shared_ptr<Run> run_;
    // Runs a recovery replaced that may still be finishing their grab.
    std::vector<std::shared_ptr<Run>> retiring_;
    // Runs a forced end left; their stop is set.
    std::vector<std::shared_ptr<Run>> left_;
    bool closed_ = false;
    bool destroying_ = false;
    int stops_under_way_ = 0;
    std::optional<int> last_exit_code_;
    std::atomic<bool> last_stop_forced_{false};
    StopSignal stop_request_;
};

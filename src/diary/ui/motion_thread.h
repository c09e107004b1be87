#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class Clock;
class FrameSource;
class StopSignal;

// What one run of the capture settings dialog's motion thread uses. The
// source and the score sink must outlive the MotionThread object: a run that
// a stop gave up on is only joined later.
struct MotionRunInputs {
    FrameSource& source;
    Clock& clock;
    // False when the preview graph has no frame grabber.
    std::function<bool()> has_grabber;
    std::uint32_t check_period_ms = 500;
    // Called on the motion thread with every score.
    std::function<void(int score)> push_score;
    // Counts the checks begun (each waits for a fresh frame); may be null.
    std::atomic<int>* checks = nullptr;
};

// The dialog's motion thread: at the lowest normal priority it measures the
// motion of one fresh frame of the preview graph per check period and hands
// the score on. All its waits end at once on a stop request.
class MotionThread {
public:
    MotionThread() = default;
    ~MotionThread();
    MotionThread(const MotionThread&) = delete;
    MotionThread& operator=(const MotionThread&) = delete;

    // No second run while one runs: false then, and when no thread could be
    // made.
    bool StartMotionThread(MotionRunInputs inputs);
    // Requests the stop and waits for the run in 50 ms steps, calling the
    // process-events hook between them; gives up after about 3 s, leaving the
    // run to finish on its own (it is joined by the next start or stop, or
    // the destructor).
    void StopMotionThread();

    // Stops and waits for every run, also one a stop gave up on.
    void Shutdown();

    void SetProcessEvents(std::function<void()> process_events) {
        process_events_ = std::move(process_events);
    }
    bool IsRunning() const;
    // 0 after a stop, -1 when the run ended on its own for lack of a grabber
    // or memory; nullopt while running or before any run.
    std::optional<int> LastExitCode() const;
    bool LastStopWasForced() const { return last_stop_forced_; }

    static constexpr int kForcedEndAfterMs = 3000;

private:
    struct Run;

    std::shared_ptr<Run> run_;
    std::function<void()> process_events_;
    std::optional<int> last_exit_code_;
    bool last_stop_forced_ = false;
    bool stopping_ = false;
};

// The body of one run, on the calling thread (tests drive it with a scripted
// source and clock): returns the exit code.
int RunMotionLoop(const MotionRunInputs& inputs, const StopSignal& stop);

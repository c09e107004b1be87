#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture_graph.h"
#include "capture/capture_timings.h"
#include "capture/graph_state.h"
#include "diary/diary_worker.h"
#include "diary/picture_store.h"
#include "events/diary_events.h"
#include "log/activity_log.h"
#include "log/diary_notice.h"
#include "log/queued_notice_receiver.h"
#include "platform/stop_signal.h"
#include "settings/shared_settings.h"
#include "web/web_pages.h"

class CaptureWindow;
class Clock;
class DeviceChooser;
class DeviceDialogs;
class Prompts;

// The engine's designed delays; owners pass shorter ones only in tests.
struct DiaryEngineDelays {
    CaptureTimings capture;
    // A worker stop gives up waiting for the run after this.
    int forced_end_after_ms = 3000;
    // While no graph could be built, the start-up tries again this often.
    int retry_build_ms = 10000;

    // Every delay divided by `divisor` (at least 1 ms each).
    DiaryEngineDelays DividedBy(std::uint32_t divisor) const;
};

// What the owner of an engine provides: the clock and the user-facing seams
// (console ones for the headless runner, widgets for the main window). All
// must outlive the engine.
struct DiaryEngineSeams {
    Clock& clock;
    Prompts& prompts;
    DeviceChooser& chooser;
    // Null where no dialogs can be shown: a build then never configures.
    DeviceDialogs* dialogs;
    CaptureWindow& window;
    // Told of every log line; called on the owner's thread.
    ActivityLog::Listener log_listener;
    // The folder of setup.ini, device.ini and "log.txt", ending in "/".
    std::function<std::string()> app_directory;
    // False lists the test devices only (tests).
    bool system_devices = true;
    DiaryEngineDelays delays = {};
    // Called from the diary worker's own loop while it runs and passes (a
    // service watchdog's sign of life); may be empty.
    std::function<void()> worker_alive = {};
};

// How an owner takes part in the start-up; every member may be empty.
struct DiaryStartUpSeams {
    // Remarks on the settings, said once before the start line (for example
    // that they store nothing): the headless runner prints them, the window
    // logs them.
    std::function<void(const std::string&)> remark;
    // Asked after the first build failed: true ends the start-up (the user
    // quits). Empty: never asked, the start-up waits for a camera.
    std::function<bool()> ask_quit;
    // With no device stored: true makes the first build ask for the device and
    // its format, and then runs `first_run_dialogs` (false from it quits).
    // Without it the first device is taken as it is.
    bool first_run_asks = false;
    std::function<bool()> first_run_dialogs;
    // Asked before each later attempt while no camera answers: false skips it
    // (the owner is in a command).
    std::function<bool()> may_retry;
    // What a later attempt's build would have shown in message boxes.
    std::function<void(const std::string&)> retry_message;
    // From the start the diary lives as if in the tray (no window to show).
    bool minimised = false;
};

enum class StartUpOutcome {
    kRunning,  // recording, or looking for a camera every retry_build_ms
    kQuit,     // the user chose to quit, or a shutdown came first
};

// The diary's engine: settings, graph state, the activity log and its notice
// receiver, the page writers, the picture store, the worker, the capture
// graph and the diary events with their jobs, wired once. Constructed, driven
// and destroyed on the owner's thread, which runs a Qt event loop (notices
// and posted log lines are queued to it).
class DiaryEngine {
public:
    explicit DiaryEngine(DiaryEngineSeams seams);
    // Shuts down (see Shutdown) and waits for every thread it started.
    ~DiaryEngine();
    DiaryEngine(const DiaryEngine&) = delete;
    DiaryEngine& operator=(const DiaryEngine&) = delete;

    SharedSettings& Settings() { return settings_; }
    GraphState& Graph() { return graph_; }
    ActivityLog& Log() { return log_; }
    CaptureGraph& Capture() { return capture_; }
    DiaryWorker& Worker() { return worker_; }
    PictureStore& Store() { return store_; }
    WebPages& Pages() { return pages_; }
    NoticeSink& Notices() { return notices_; }
    // Where the jobs after a picture subscribe (before StartUp).
    DiaryEvents& Events() { return events_; }

    // The one start-up of the window and of --headless: loads the settings,
    // removes what cut-off writes left, remarks on the settings, starts the
    // jobs, builds the graph (the first run's dialogs included) and adds the
    // start line. Once; afterwards it does nothing and returns kQuit.
    StartUpOutcome StartUp(DiaryStartUpSeams seams);
    // True while the start-up looks for a camera every retry_build_ms.
    bool WaitingForCamera() const { return retry_timer_.isActive(); }
    // Looks for a camera every retry_build_ms from now on, as after a failed
    // start (a command whose build the user gave up on).
    void WaitForCamera();

    // Any thread: adds a stamped line to the log on the owner's thread.
    void PostLogLine(const LogText& line);

    // Owner's thread: switches the on-air flag (ONAIR) and saves it; the jobs
    // hear OnAirSwitched and the listener is told (the window's button).
    void SetOnAir(bool on);
    // Any thread: SetOnAir on the owner's thread.
    void PostSetOnAir(bool on);
    void SetOnAirListener(std::function<void(bool on)> listener) {
        on_air_listener_ = std::move(listener);
    }

    // Reads setup.ini and device.ini into the shared record.
    void LoadSettings();
    // Writes the shared record, but only once it was loaded: before that it
    // holds defaults, which must not overwrite the user's files.
    void SaveSettings();
    bool SettingsLoaded() const { return loaded_; }

    // The capture graph's build (which starts the worker) and release (which
    // stops it first). Neither runs after the shutdown. A build that succeeds
    // ends the waiting for a camera.
    bool BuildCaptureGraph(bool keepDevice, bool configureDevice);
    void ReleaseCaptureGraph();
    // A build leaves the graph running; while the diary lives in the tray it
    // must not run between pictures. Waits for a grab under way to end.
    void StopGraphWhileMinimised();

    // Any thread: ends the waits of a build under way on the owner's thread,
    // so that the Shutdown queued after it comes soon.
    void RequestShutdown() { shutdown_.Request(); }
    const StopSignal& ShutdownRequest() const { return shutdown_; }
    // Saves the settings (when loaded), releases the graph, which stops the
    // worker, and then stops the jobs. Runs once; later calls do nothing.
    void Shutdown();
    bool IsShutDown() const { return shut_down_; }

private:
    // After a successful start-up build: the first run's dialogs and save.
    bool FinishBuild(bool first_run);
    void RetryBuild();

    Clock& clock_;
    // Declared so that each member is destroyed before anything it refers
    // to. The one reference back, the capture graph's to the worker (a build
    // starts it, a release stops it), is only used by builds and releases,
    // which end with the shutdown in the destructor.
    SharedSettings settings_;
    GraphState graph_;
    StopSignal shutdown_;
    ActivityLog log_;
    QueuedNoticeReceiver receiver_;
    PostedNoticeSink notices_;
    // Context of the log lines posted from other threads.
    std::unique_ptr<QObject> log_context_ = std::make_unique<QObject>();
    // Jobs run on their own threads and use the log, the settings and the
    // store's pages flag; they end in Shutdown, after the worker.
    DiaryEvents events_;
    WebPages pages_;
    CaptureGraph capture_;
    PictureStore store_;
    // Last, so that it is destroyed first: its destructor joins every run,
    // and a run uses the graph and the store.
    DiaryWorker worker_;
    QTimer retry_timer_;
    DiaryStartUpSeams start_up_;
    std::function<void(bool on)> on_air_listener_;
    std::vector<std::string> load_remarks_;
    bool started_ = false;
    bool loaded_ = false;
    bool shut_down_ = false;
};

#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "capture/capture_graph.h"
#include "capture/capture_timings.h"
#include "capture/graph_state.h"
#include "diary/diary_worker.h"
#include "diary/picture_store.h"
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
};

// The diary's engine: settings, graph state, the activity log and its notice
// receiver, the page writers, the picture store, the worker and the capture
// graph, wired once. Constructed, driven and destroyed on the owner's thread,
// which runs a Qt event loop (notices are queued to it).
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

    // Reads setup.ini and device.ini into the shared record.
    void LoadSettings();
    // Writes the shared record, but only once it was loaded: before that it
    // holds defaults, which must not overwrite the user's files.
    void SaveSettings();
    bool SettingsLoaded() const { return loaded_; }

    // The capture graph's build (which starts the worker) and release (which
    // stops it first). Neither runs after the shutdown.
    bool BuildCaptureGraph(bool keepDevice, bool configureDevice);
    void ReleaseCaptureGraph();
    // A build leaves the graph running; while the diary lives in the tray it
    // must not run between pictures. Waits for a grab under way to end.
    void StopGraphWhileMinimised();

    // Any thread: ends the waits of a build under way on the owner's thread,
    // so that the Shutdown queued after it comes soon.
    void RequestShutdown() { shutdown_.Request(); }
    const StopSignal& ShutdownRequest() const { return shutdown_; }
    // Saves the settings (when loaded) and releases the graph, which stops
    // the worker. Runs once; later calls do nothing.
    void Shutdown();
    bool IsShutDown() const { return shut_down_; }

private:
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
    WebPages pages_;
    CaptureGraph capture_;
    PictureStore store_;
    // Last, so that it is destroyed first: its destructor joins every run,
    // and a run uses the graph and the store.
    DiaryWorker worker_;
    bool loaded_ = false;
    bool shut_down_ = false;
};

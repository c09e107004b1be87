#pragma once

#include <memory>

#include "capture/capture_timings.h"
#include "capture/capture_window.h"
#include "capture/pipeline_frame_source.h"

class Clock;
class DeviceChooser;
class EventPublisher;
class DeviceDialogs;
class Prompts;
class SharedSettings;
class StopSignal;
class WorkerControl;
struct GraphState;

struct CaptureGraphServices {
    GraphState& graph;
    // SELECT, WIDTH, HEIGHT and FRAMERATE are read and written by the build.
    SharedSettings& settings;
    WorkerControl& worker;
    Prompts& prompts;
    DeviceChooser& chooser;
    // Null where no dialogs can be shown: the device is then not configured.
    DeviceDialogs* dialogs;
    CaptureWindow& window;
    Clock& clock;
    // Ends the graph-lock wait and the run wait of a command build (the
    // owner's shutdown request). A recovery's waits end on its grab's stop.
    const StopSignal& worker_stop;
    // Told when the chosen camera goes away and comes back.
    EventPublisher& events;
    // False lists the test devices only (tests).
    bool system_devices = true;
    CaptureTimings timings = {};
};

// The main window's capture graph on GStreamer: device, requested format,
// conversion to the frame layout, the grabber and the preview output.
class CaptureGraph final : public PipelineFrameSource {
public:
    explicit CaptureGraph(const CaptureGraphServices& services);
    ~CaptureGraph() override;
    CaptureGraph(const CaptureGraph&) = delete;
    CaptureGraph& operator=(const CaptureGraph&) = delete;

    // False when there is no video input device or the device choice was
    // cancelled; failed steps are shown and the build goes on.
    bool BuildCaptureGraph(bool keepDevice, bool configureDevice);
    // A build that keeps the stored device (else takes the first) and shows
    // its messages through `prompts` instead (a retry nobody watches).
    bool BuildQuietly(Prompts& prompts);
    // Stops the worker first.
    void ReleaseCaptureGraph();
    // The controls dialog of the device, when it offers controls.
    void ShowFilterPropertyPages();

    // Lives as long as the graph object, across rebuilds.
    std::shared_ptr<PreviewSource> Preview() const;

    // A recovery build: never asks the user, shows no message boxes, binds
    // the stored device when present, else the first one.
    bool RebuildGraph(const StopSignal& stop) override;
    void ReleaseGraph() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

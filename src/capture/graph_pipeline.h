#pragma once

// Private to the capture folder: the GStreamer pipeline behind the capture
// graph and the preview graph.

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "capture/device_dialogs.h"
#include "capture/device_formats.h"
#include "capture/device_list.h"
#include "capture/frame_format.h"
#include "capture/gst_handle.h"

class StopSignal;

// A failed step: its GStreamer or system error code.
struct StepError {
    int code = 0;
};

// One graph's pipeline: the device's source, its format filter and the
// grabber, put together step by step (AssemblePipeline), run and stopped.
class GraphPipeline {
public:
    GraphPipeline();
    ~GraphPipeline();
    GraphPipeline(const GraphPipeline&) = delete;
    GraphPipeline& operator=(const GraphPipeline&) = delete;

    bool CreatePipeline();
    bool CreateGrabber();
    bool SetGrabberCaps();
    bool AddGrabber();
    bool GetBus();
    bool CreateSource(const VideoDevice& device);
    bool AddSource();

    // Opens the device and reads the formats it offers; false when they
    // cannot be read (the device then keeps its own format).
    bool ReadSourceFormats();
    std::vector<DeviceFormatOffer> FormatOffers() const;
    // Asks for this size and frame interval; a device that cannot give the
    // size keeps its own. Returns the format now written, if any.
    std::optional<DeviceFormat> WriteFormat(const DeviceFormat& format);
    std::optional<DeviceFormat> CurrentFormat() const { return written_; }
    // The written format is taken as Motion-JPEG.
    bool MotionJpeg() const { return motion_jpeg_; }

    std::vector<DeviceControl> Controls() const;
    void SetControl(const std::string& name, int value);

    std::optional<StepError> Link();
    std::optional<StepError> QueryConnectedFormat(FrameFormat& format);

    bool Run();
    // Ends early, false, when `stop` (may be null) is requested.
    bool IsRunning(const StopSignal* stop);
    void StopWhenReady();
    // NULL closes the device; PLAYING from there opens it again.
    void ReleaseDevice();
    // The stream failed or ended since the last run (reads the bus).
    bool StreamEnded();
    // Stops the pipeline; the elements go with the object, so another thread
    // still holding it stays safe.
    void Shutdown();

    ElementHandle appsink() const { return appsink_; }

private:
    int DrainBus();

    ElementHandle pipeline_;
    ElementHandle source_;
    ElementHandle format_caps_;
    ElementHandle appsink_;
    BusHandle bus_;
    DeviceFormats formats_;
    std::optional<DeviceFormat> written_;
    bool motion_jpeg_ = false;
    // Read from the bus on the calling thread; a run clears the failure.
    std::atomic<bool> failed_{false};
    std::atomic<bool> ended_{false};
    std::atomic<int> error_code_{0};
};

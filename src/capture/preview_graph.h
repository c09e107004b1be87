#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "capture/capture_window.h"
#include "capture/pipeline_frame_source.h"

class Clock;
class Prompts;

// The capture settings dialog's copy of the device settings.
struct PreviewDeviceSettings {
    std::string SELECT;
    std::int32_t WIDTH = 0;
    std::int32_t HEIGHT = 0;
    std::int64_t FRAMERATE = 0;
};

// The capture settings dialog's own graph: like the main graph, but it never
// asks for a device, never changes the settings, ends at the first failed
// step, keeps buffering on for the dialog's motion thread, and sets no title
// and starts no worker.
class PreviewGraph final : public PipelineFrameSource {
public:
    // `stop_motion_thread` is called first by every release.
    PreviewGraph(Prompts& prompts, Clock& clock, std::function<void()> stop_motion_thread = {},
                 bool system_devices = true);
    ~PreviewGraph() override;
    PreviewGraph(const PreviewGraph&) = delete;
    PreviewGraph& operator=(const PreviewGraph&) = delete;

    bool BuildPreviewGraph(const PreviewDeviceSettings& settings);
    void ReleasePreviewGraph();
    bool ready() const;

    std::shared_ptr<PreviewSource> Preview() const;

    // Builds again from the settings of the last build.
    bool RebuildGraph(const StopSignal& stop) override;
    void ReleaseGraph() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

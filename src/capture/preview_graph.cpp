#include "capture/preview_graph.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "capture/device_names.h"
#include "capture/frame_grab.h"
#include "capture/frame_slot.h"
#include "capture/graph_pipeline.h"
#include "capture/pipeline_assembly.h"
#include "platform/prompts.h"

namespace {

const char* StepName(AssemblyStep step) {
    switch (step) {
        case AssemblyStep::kStartGstreamer:
        case AssemblyStep::kCreatePipeline:
            return "CoCreateInstance CLSID_FilterGraph";
        case AssemblyStep::kCreateGrabber:
            return "CoCreateInstance CLSID_SampleGrabber";
        case AssemblyStep::kSetGrabberCaps:
            return "SetMediaType";
        case AssemblyStep::kAddGrabber:
            return "AddFilter";
        case AssemblyStep::kGetBus:
            return "QueryInterface MediaEvent";
        case AssemblyStep::kListDevices:
            return "CoCreateInstance SystemDeviceEnum";
        case AssemblyStep::kPickDevice:
            return "EnumMoniker Next";
        case AssemblyStep::kCreateSource:
            return "BindToObject";
        case AssemblyStep::kAddSource:
            return "AddFilter";
        case AssemblyStep::kLink:
            return "RenderStream";
        case AssemblyStep::kConnectedFormat:
            return "GetConnectedMediaType";
    }
    return "";
}

}  // namespace

// Every failed step ends the build, but for adding the device.
struct PreviewGraph::Impl final : PipelineAssembly {
    Impl(Prompts& p, Clock& c, std::function<void()> stop, bool system)
        : prompts(p), clock(c), stop_motion_thread(std::move(stop)), system_devices(system) {}

    bool StepFailed(AssemblyStep step, int code) override {
        if (step == AssemblyStep::kAddSource) {
            prompts.ShowMessage("ERROR: AddFilter");
            return true;
        }
        char text[160];
        std::snprintf(text, sizeof text, "ERROR(%d): %s", code, StepName(step));
        prompts.ShowMessage(text);
        return false;
    }

    void NoDevice() override { prompts.ShowMessage(NoVideoDeviceMessage()); }

    // Never asks: a device that is not listed ends the build, silently.
    std::optional<int> ChooseDevice(const std::vector<std::string>& names) override {
        const auto match = std::find(names.begin(), names.end(), last.SELECT);
        if (match == names.end()) return std::nullopt;
        return static_cast<int>(match - names.begin());
    }

    DeviceFormat RequestedFormat() override { return {last.WIDTH, last.HEIGHT, last.FRAMERATE}; }

    Prompts& prompts;
    Clock& clock;
    std::function<void()> stop_motion_thread;
    bool system_devices;
    std::atomic<bool> ready{false};
    PreviewDeviceSettings last;
};

PreviewGraph::PreviewGraph(Prompts& prompts, Clock& clock, std::function<void()> stop_motion_thread,
                           bool system_devices)
    : impl_(std::make_unique<Impl>(prompts, clock, std::move(stop_motion_thread), system_devices)) {
}

PreviewGraph::~PreviewGraph() { ReleasePreviewGraph(); }

bool PreviewGraph::BuildPreviewGraph(const PreviewDeviceSettings& settings) {
    if (settings.SELECT.empty() || settings.WIDTH < 1) return false;
    ReleasePreviewGraph();
    impl_->last = settings;
    AssembledPipeline built = AssemblePipeline(*impl_, impl_->system_devices, {});
    if (!built.pipeline) return false;
    Slot()->Attach(built.pipeline->appsink(), built.connected);
    SwapPipeline(std::move(built.pipeline));
    // The dialog's motion thread copies frames all the time, without grabs.
    Slot()->SetBuffering(true);
    RunGraphAndWait(*this, impl_->clock, nullptr);
    impl_->ready.store(true);
    return true;
}

void PreviewGraph::ReleasePreviewGraph() {
    if (impl_->stop_motion_thread) impl_->stop_motion_thread();
    impl_->ready.store(false);
    const std::shared_ptr<GraphPipeline> old = SwapPipeline(nullptr);
    Slot()->SetBuffering(false);
    Slot()->Detach();
    if (old) old->Shutdown();
}

bool PreviewGraph::ready() const { return impl_->ready.load(); }

std::shared_ptr<PreviewSource> PreviewGraph::Preview() const { return Slot(); }

bool PreviewGraph::RebuildGraph(const StopSignal&) { return BuildPreviewGraph(impl_->last); }

void PreviewGraph::ReleaseGraph() { ReleasePreviewGraph(); }

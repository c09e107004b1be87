#include "capture/preview_graph.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <vector>

#include "capture/device_list.h"
#include "capture/device_names.h"
#include "capture/frame_grab.h"
#include "capture/frame_slot.h"
#include "capture/graph_pipeline.h"
#include "platform/prompts.h"

struct PreviewGraph::Impl {
    Impl(Prompts& p, Clock& c, std::function<void()> stop, bool system)
        : prompts(p), clock(c), stop_motion_thread(std::move(stop)), system_devices(system) {}

    bool Fail(int code, const char* step) {
        char text[160];
        std::snprintf(text, sizeof text, "ERROR(%d): %s", code, step);
        prompts.ShowMessage(text);
        return false;
    }

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
    if (!EnsureGstreamer()) return impl_->Fail(errno, "CoCreateInstance CLSID_FilterGraph");

    auto built = std::make_shared<GraphPipeline>();
    errno = 0;
    if (!built->CreatePipeline()) return impl_->Fail(errno, "CoCreateInstance CLSID_FilterGraph");
    if (!built->CreateGrabber()) return impl_->Fail(errno, "CoCreateInstance CLSID_SampleGrabber");
    if (!built->SetGrabberCaps()) return impl_->Fail(errno, "SetMediaType");
    if (!built->AddGrabber()) return impl_->Fail(errno, "AddFilter");
    if (!built->GetBus()) return impl_->Fail(errno, "QueryInterface MediaEvent");

    DeviceEnumeration found = EnumerateVideoDevices(impl_->system_devices);
    if (found.monitor_failed) return impl_->Fail(errno, "CoCreateInstance SystemDeviceEnum");
    if (found.devices.empty()) {
        impl_->prompts.ShowMessage(kNoVideoDeviceMessage);
        return false;
    }
    std::vector<std::string> names;
    std::vector<std::size_t> device_of;
    for (std::size_t i = 0; i < found.devices.size(); ++i) {
        if (found.devices[i].name.empty()) continue;
        names.push_back(found.devices[i].name);
        device_of.push_back(i);
    }
    names = DeduplicateDeviceNames(names);
    const auto match = std::find(names.begin(), names.end(), settings.SELECT);
    if (match == names.end()) return false;
    const VideoDevice& device =
        found.devices[device_of[static_cast<std::size_t>(match - names.begin())]];

    if (!built->CreateSource(device)) return impl_->Fail(errno, "BindToObject");
    if (!built->AddSource()) impl_->prompts.ShowMessage("ERROR: AddFilter");
    built->ReadSourceFormats();
    built->WriteFormat({settings.WIDTH, settings.HEIGHT, settings.FRAMERATE});

    if (const auto error = built->Link()) return impl_->Fail(error->code, "RenderStream");
    FrameFormat connected;
    if (const auto error = built->QueryConnectedFormat(connected)) {
        return impl_->Fail(error->code, "GetConnectedMediaType");
    }
    Slot()->Attach(built->appsink(), connected);
    SwapPipeline(std::move(built));
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

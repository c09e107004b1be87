#include "capture/capture_graph.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/device_chooser.h"
#include "capture/device_dialogs.h"
#include "capture/device_names.h"
#include "capture/frame_grab.h"
#include "capture/frame_slot.h"
#include "capture/graph_pipeline.h"
#include "capture/graph_state.h"
#include "capture/pipeline_assembly.h"
#include "capture/worker_control.h"
#include "events/diary_event.h"
#include "platform/prompts.h"
#include "platform/stop_signal.h"
#include "settings/shared_settings.h"

namespace {

enum class BuildKind { kCommand, kRecovery };

class GraphUnlock {
public:
    explicit GraphUnlock(GraphState& graph) : graph_(graph) {}
    ~GraphUnlock() { graph_.lock.unlock(); }
    GraphUnlock(const GraphUnlock&) = delete;
    GraphUnlock& operator=(const GraphUnlock&) = delete;

private:
    GraphState& graph_;
};

std::string StepMessage(int code, const char* step) {
    char text[160];
    std::snprintf(text, sizeof text, "ERROR(%d): %s", code, step);
    return text;
}

// What a failed step shows; empty for the steps that are not checked.
std::string StepFailureText(AssemblyStep step, int code) {
    switch (step) {
        case AssemblyStep::kStartGstreamer:
        case AssemblyStep::kCreateGrabber:
            return {};
        case AssemblyStep::kCreatePipeline:
            return "ERROR: CoCreateInstance FilterGraph";
        case AssemblyStep::kSetGrabberCaps:
            return "ERROR: SetMediaType";
        case AssemblyStep::kAddGrabber:
        case AssemblyStep::kAddSource:
            return "ERROR: AddFilter";
        case AssemblyStep::kGetBus:
            return "ERROR: QueryInterface MediaEvent";
        case AssemblyStep::kListDevices:
            return "ERROR: CoCreateInstance SystemDeviceEnum";
        case AssemblyStep::kPickDevice:
            return "ERROR: Next";
        case AssemblyStep::kCreateSource:
            return "ERROR: BindToObject";
        case AssemblyStep::kLink:
            return StepMessage(code, "RenderStream");
        case AssemblyStep::kConnectedFormat:
            return StepMessage(code, "GetConnectedMediaType");
    }
    return {};
}

// Never empty, so that a camera with no stored name can be gone too.
std::string GoneKey(const std::string& name) { return "=" + name; }

}  // namespace

struct CaptureGraph::Impl {
    class Steps;

    Impl(const CaptureGraphServices& s, CaptureGraph& o) : services(s), owner(o) {}

    bool Build(BuildKind kind, bool keep_device, bool configure_device, const StopSignal& stop,
               Prompts& prompts);

    // The pipeline becomes the graph's; its frames go to the slot and to the
    // preview, buffering off.
    void Install(std::shared_ptr<GraphPipeline> built, FrameFormat connected) {
        owner.Slot()->Attach(built->appsink(), connected);
        owner.SwapPipeline(std::move(built));
        owner.Slot()->SetBuffering(false);
        services.window.PostPreviewSource(owner.Slot());
    }

    // Runs the graph, makes it ready, titles the window and starts the worker.
    void Start(const StopSignal& stop) {
        RunGraphAndWait(owner, services.clock, &stop, services.timings);
        services.graph.camera_gone.store(false);
        services.graph.ready.store(true);
        const DiarySettings shown = services.settings.Copy();
        services.window.PostTitle(FormatCaptureTitle(shown.SELECT, shown.WIDTH, shown.HEIGHT));
        services.worker.StartDiaryWorker();
    }

    // Hides the preview, stops keeping frames and stops the pipeline.
    void StopAndRelease(bool hide_preview = true) {
        const std::shared_ptr<GraphPipeline> old = owner.SwapPipeline(nullptr);
        if (!old) return;
        if (hide_preview) services.window.PostPreviewSource(nullptr);
        owner.Slot()->SetBuffering(false);
        owner.Slot()->Detach();
        old->Shutdown();
    }

    CaptureGraphServices services;
    CaptureGraph& owner;
    // The camera a recovery found gone and has said so once; empty while
    // none is gone. Used under the graph lock only.
    std::string gone_;
};

// One build's decisions: a failed step is shown and the build goes on; the
// device is the stored one, else asked for (a command) or followed (a
// recovery); a command may configure the device.
class CaptureGraph::Impl::Steps final : public PipelineAssembly {
public:
    Steps(Impl& graph, BuildKind kind, bool keep_device, bool configure_device, Prompts& prompts)
        : graph_(graph),
          prompts_(prompts),
          services_(graph.services),
          recovery_(kind == BuildKind::kRecovery),
          keep_device_(keep_device),
          configure_device_(configure_device),
          stored_(services_.settings.Read([](const DiarySettings& s) { return s.SELECT; })) {}

    std::string NetworkAddress() const { return IsNetworkAddress(stored_) ? stored_ : ""; }

    bool StepFailed(AssemblyStep step, int code) override {
        if (const std::string text = StepFailureText(step, code); !text.empty()) Report(text);
        return true;
    }

    void NoDevice() override {
        if (recovery_) {
            CameraGone();
            return;
        }
        // The device change with no camera at all: a network camera's
        // address can still be given.
        if (!keep_device_ && !configure_device_) {
            const DeviceChoice choice = services_.chooser.ChooseDevice({}, 0);
            if (choice.ok && !choice.address.empty()) {
                typed_ = choice.address;
                return;
            }
        }
        Report(NoVideoDeviceMessage());
    }

    // A network address the user typed instead of choosing: the build binds
    // it in a second assembly, where it is listed.
    const std::string& TypedAddress() const { return typed_; }

    std::optional<int> ChooseDevice(const std::vector<std::string>& names) override {
        const auto match = std::find(names.begin(), names.end(), stored_);
        int position = match == names.end() ? -1 : static_cast<int>(match - names.begin());
        if (recovery_) {
            position = FollowCamera(names, position);
        } else {
            const std::optional<int> chosen = AskForDevice(names, position);
            if (!chosen) return std::nullopt;
            position = *chosen;
        }
        if (position >= 0 && position < static_cast<int>(names.size())) {
            services_.settings.Update(
                [&](DiarySettings& s) { s.SELECT = names[static_cast<std::size_t>(position)]; });
        }
        return position;
    }

    DeviceFormat RequestedFormat() override {
        requested_ = services_.settings.Copy();
        return {requested_.WIDTH, requested_.HEIGHT, requested_.FRAMERATE};
    }

    void ConfigureFormat(const std::shared_ptr<GraphPipeline>& built, bool readable) override {
        if (configure_device_ && !recovery_ && readable && services_.dialogs != nullptr)
            ShowDeviceDialogs(built);
    }

    // What the slot is told until the first frame: a network stream's size
    // is the size of its last frames, else the requested one, so that a grab
    // has a size to wait with, and to rebuild with while the server does not
    // answer.
    FrameFormat ConnectedFormat(const AssembledPipeline& built) const {
        if (built.connected.IsValid() || !built.network) return built.connected;
        const FrameFormat last = graph_.owner.Slot()->ConnectedFormat();
        return last.IsValid() ? last : FrameFormat{requested_.WIDTH, requested_.HEIGHT};
    }

private:
    // A recovery runs on the worker thread with the graph lock held: a
    // message box there would wait for a click nobody may give.
    void Report(const std::string& text) {
        if (recovery_) {
            std::fprintf(stderr, "Quillomat: capture recovery: %s\n", text.c_str());
        } else {
            prompts_.ShowMessage(text);
        }
    }

    // Unplugged while in use: said once, not at every retry; the picture
    // store's recoveries look for it again.
    void CameraGone() {
        if (graph_.gone_ != GoneKey(stored_)) {
            graph_.gone_ = GoneKey(stored_);
            services_.events.Publish(::CameraGone{stored_, {}});
        }
        services_.graph.camera_gone.store(true);
    }

    // A recovery binds the stored camera, back or still there, else the
    // first one, which takes over for good: it becomes the stored one.
    int FollowCamera(const std::vector<std::string>& names, int position) {
        if (position < 0 && !names.empty()) {
            services_.events.Publish(::CameraGone{stored_, names[0]});
            graph_.gone_.clear();
        } else if (position >= 0 && !graph_.gone_.empty() && graph_.gone_ == GoneKey(stored_)) {
            services_.events.Publish(::CameraBack{stored_});
            graph_.gone_.clear();
        }
        return std::max(position, 0);
    }

    // The device selection dialog, unless the flags and the list decide.
    std::optional<int> AskForDevice(const std::vector<std::string>& names, int position) {
        if (keep_device_ && position == -1) position = 0;
        if (position != -1 && (keep_device_ || configure_device_)) return position;
        if (names.size() == 1) return 0;
        const int initial = std::max(position, 0);
        for (;;) {
            const DeviceChoice choice = services_.chooser.ChooseDevice(names, initial);
            if (!choice.ok) return std::nullopt;
            if (!choice.address.empty()) {
                typed_ = choice.address;
                return std::nullopt;
            }
            if (choice.selected >= 0 && choice.selected < static_cast<int>(names.size()))
                return choice.selected;
        }
    }

    // The format dialog and the controls dialog; what the device then
    // delivers becomes WIDTH, HEIGHT and FRAMERATE.
    void ShowDeviceDialogs(const std::shared_ptr<GraphPipeline>& built) {
        DeviceFormat chosen = built->CurrentFormat().value_or(
            DeviceFormat{requested_.WIDTH, requested_.HEIGHT, requested_.FRAMERATE});
        const std::vector<DeviceFormatOffer> offers = built->FormatOffers();
        if (!offers.empty() && services_.dialogs->ShowFormatDialog(offers, chosen))
            built->WriteFormat(chosen);
        const std::vector<DeviceControl> controls = built->Controls();
        if (!controls.empty()) {
            services_.dialogs->ShowControlsDialog(
                requested_.SELECT, controls,
                [built](const std::string& name, int value) { built->SetControl(name, value); });
        }
        if (const auto now = built->CurrentFormat()) {
            services_.settings.Update([&](DiarySettings& s) {
                s.WIDTH = now->width;
                s.HEIGHT = now->height;
                if (now->frame_interval_100ns > 0) s.FRAMERATE = now->frame_interval_100ns;
            });
        }
    }

    Impl& graph_;
    Prompts& prompts_;
    CaptureGraphServices& services_;
    const bool recovery_;
    const bool keep_device_;
    const bool configure_device_;
    const std::string stored_;
    DiarySettings requested_;
    std::string typed_;
};

bool CaptureGraph::Impl::Build(BuildKind kind, bool keep_device, bool configure_device,
                               const StopSignal& stop, Prompts& prompts) {
    // Builds, releases and grabs are serialised by the graph lock: a command
    // build waits for a grab (and the recovery inside it) to end, and a
    // recovery, which runs inside a grab, already holds it.
    if (!LockGraph(services.graph, stop)) return false;
    GraphUnlock unlock(services.graph);
    // A grab whose run a release is stopping has nothing to recover for: a
    // graph built now would be left running and ready after the release.
    if (kind == BuildKind::kRecovery && stop.IsSet()) return false;
    services.worker.ReopenDiaryWorker();
    services.graph.ready.store(false);
    StopAndRelease();

    auto steps = std::make_unique<Steps>(*this, kind, keep_device, configure_device, prompts);
    AssembledPipeline built =
        AssemblePipeline(*steps, services.system_devices, steps->NetworkAddress());
    if (!built.pipeline && !steps->TypedAddress().empty()) {
        const std::string address = steps->TypedAddress();
        services.settings.Update([&](DiarySettings& s) { s.SELECT = address; });
        steps = std::make_unique<Steps>(*this, kind, true, configure_device, prompts);
        built = AssemblePipeline(*steps, services.system_devices, steps->NetworkAddress());
    }
    if (!built.pipeline) return false;
    const FrameFormat connected = steps->ConnectedFormat(built);
    Install(std::move(built.pipeline), connected);
    Start(stop);
    return true;
}

CaptureGraph::CaptureGraph(const CaptureGraphServices& services)
    : impl_(std::make_unique<Impl>(services, *this)) {}

// The window may be gone by now; it is not told.
CaptureGraph::~CaptureGraph() { impl_->StopAndRelease(false); }

bool CaptureGraph::BuildCaptureGraph(bool keepDevice, bool configureDevice) {
    return impl_->Build(BuildKind::kCommand, keepDevice, configureDevice,
                        impl_->services.worker_stop, impl_->services.prompts);
}

bool CaptureGraph::BuildQuietly(Prompts& prompts) {
    return impl_->Build(BuildKind::kCommand, true, false, impl_->services.worker_stop, prompts);
}

void CaptureGraph::ReleaseCaptureGraph() {
    GraphState& graph = impl_->services.graph;
    graph.ready.store(false);
    // The stop first: a grab holds the graph lock and ends on its run's stop.
    impl_->services.worker.StopDiaryWorker();
    static const StopSignal kNever;
    LockGraph(graph, kNever);
    GraphUnlock unlock(graph);
    // A build on another thread may have started a worker between the stop
    // and the lock.
    impl_->services.worker.StopDiaryWorker();
    // Again under the lock: a recovery that finished before the lock came
    // made the graph ready once more.
    graph.ready.store(false);
    graph.camera_gone.store(false);
    impl_->StopAndRelease();
}

void CaptureGraph::ShowFilterPropertyPages() {
    const std::shared_ptr<GraphPipeline> current = CurrentPipeline();
    if (!current || impl_->services.dialogs == nullptr) return;
    const std::vector<DeviceControl> controls = current->Controls();
    if (controls.empty()) return;
    const std::string caption =
        impl_->services.settings.Read([](const DiarySettings& s) { return s.SELECT; });
    impl_->services.dialogs->ShowControlsDialog(
        caption, controls,
        [current](const std::string& name, int value) { current->SetControl(name, value); });
}

std::shared_ptr<PreviewSource> CaptureGraph::Preview() const { return Slot(); }

bool CaptureGraph::RebuildGraph(const StopSignal& stop) {
    return impl_->Build(BuildKind::kRecovery, false, false, stop, impl_->services.prompts);
}

void CaptureGraph::ReleaseGraph() { ReleaseCaptureGraph(); }

#include "capture/capture_graph.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "capture/device_chooser.h"
#include "capture/device_dialogs.h"
#include "capture/device_list.h"
#include "capture/device_names.h"
#include "capture/frame_grab.h"
#include "capture/frame_slot.h"
#include "capture/graph_pipeline.h"
#include "capture/graph_state.h"
#include "capture/worker_control.h"
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

}  // namespace

struct CaptureGraph::Impl {
    Impl(const CaptureGraphServices& s, CaptureGraph& o) : services(s), owner(o) {}

    void Install(std::shared_ptr<GraphPipeline> built, FrameFormat connected) {
        owner.Slot()->Attach(built->appsink(), connected);
        owner.SwapPipeline(std::move(built));
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

    bool Build(BuildKind kind, bool keep_device, bool configure_device, const StopSignal& stop);

    CaptureGraphServices services;
    CaptureGraph& owner;
    // The camera a recovery found gone and has said so once; empty while
    // none is gone. Used under the graph lock only.
    std::string gone_;
};

namespace {

// Never empty, so that a camera with no stored name can be gone too.
std::string GoneKey(const std::string& name) { return "=" + name; }

void SayCamera(const std::string& line) { std::fprintf(stderr, "Quillomat: %s\n", line.c_str()); }

}  // namespace

bool CaptureGraph::Impl::Build(BuildKind kind, bool keep_device, bool configure_device,
                               const StopSignal& stop) {
    const bool recovery = kind == BuildKind::kRecovery;
    // Builds, releases and grabs are serialised by the graph lock: a command
    // build waits for a grab (and the recovery inside it) to end, and a
    // recovery, which runs inside a grab, already holds it.
    if (!LockGraph(services.graph, stop)) return false;
    GraphUnlock unlock(services.graph);
    services.worker.ReopenDiaryWorker();
    // A recovery runs on the worker thread with the graph lock held: a
    // message box there would wait for a click nobody may give.
    auto report = [&](const std::string& text) {
        if (recovery) {
            std::fprintf(stderr, "Quillomat: capture recovery: %s\n", text.c_str());
        } else {
            services.prompts.ShowMessage(text);
        }
    };

    services.graph.ready.store(false);
    StopAndRelease();
    EnsureGstreamer();

    auto built = std::make_shared<GraphPipeline>();
    errno = 0;
    if (!built->CreatePipeline()) report("ERROR: CoCreateInstance FilterGraph");
    built->CreateGrabber();
    if (!built->SetGrabberCaps()) report("ERROR: SetMediaType");
    if (!built->AddGrabber()) report("ERROR: AddFilter");
    if (!built->GetBus()) report("ERROR: QueryInterface MediaEvent");

    DeviceEnumeration found = EnumerateVideoDevices(services.system_devices);
    if (found.monitor_failed) report("ERROR: CoCreateInstance SystemDeviceEnum");
    const std::string stored =
        services.settings.Read([](const DiarySettings& s) { return s.SELECT; });
    // A stored network address is a device of its own, after the machine's,
    // present whether or not its server answers now: the grab's recoveries
    // deal with a stream that does not come.
    if (IsNetworkAddress(stored)) found.devices.push_back(VideoDevice{stored, {}, {}, stored});
    if (found.devices.empty()) {
        if (!recovery) {
            report(kNoVideoDeviceMessage);
            return false;
        }
        // Unplugged while in use: said once, not at every retry; the picture
        // store's recoveries look for it again.
        if (gone_ != GoneKey(stored)) {
            gone_ = GoneKey(stored);
            SayCamera("camera \"" + stored +
                      "\" is gone (unplugged?); pictures resume when it is back");
        }
        services.graph.camera_gone.store(true);
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

    const auto match = std::find(names.begin(), names.end(), stored);
    int position = match == names.end() ? -1 : static_cast<int>(match - names.begin());

    if (recovery) {
        if (position < 0 && !names.empty()) {
            // The first device takes over for good: it becomes the stored one.
            SayCamera("camera \"" + stored + "\" is gone (unplugged?); using \"" + names[0] +
                      "\" instead");
            gone_.clear();
        } else if (position >= 0 && !gone_.empty() && gone_ == GoneKey(stored)) {
            SayCamera("camera \"" + stored + "\" is back");
            gone_.clear();
        }
        position = std::max(position, 0);
    } else {
        if (keep_device && position == -1) position = 0;
        if (position == -1 || (!keep_device && !configure_device)) {
            if (names.size() == 1) {
                position = 0;
            } else {
                const int initial = std::max(position, 0);
                for (;;) {
                    const DeviceChoice choice = services.chooser.ChooseDevice(names, initial);
                    if (!choice.ok) return false;
                    if (choice.selected >= 0 && choice.selected < static_cast<int>(names.size())) {
                        position = choice.selected;
                        break;
                    }
                }
            }
        }
    }

    const VideoDevice* device = nullptr;
    if (position >= 0 && position < static_cast<int>(names.size())) {
        device = &found.devices[device_of[static_cast<std::size_t>(position)]];
        services.settings.Update(
            [&](DiarySettings& s) { s.SELECT = names[static_cast<std::size_t>(position)]; });
    } else {
        // Only unnamed devices: there is no list entry to bind or to store.
        report("ERROR: Next");
    }

    if (device != nullptr) {
        if (!built->CreateSource(*device)) {
            report("ERROR: BindToObject");
        } else if (!built->AddSource()) {
            report("ERROR: AddFilter");
        }
    }

    const DiarySettings requested = services.settings.Copy();
    const bool readable = built->ReadSourceFormats();
    built->WriteFormat({requested.WIDTH, requested.HEIGHT, requested.FRAMERATE});
    if (configure_device && !recovery && readable && services.dialogs != nullptr) {
        DeviceFormat chosen = built->CurrentFormat().value_or(
            DeviceFormat{requested.WIDTH, requested.HEIGHT, requested.FRAMERATE});
        const std::vector<DeviceFormatOffer> offers = built->FormatOffers();
        if (!offers.empty() && services.dialogs->ShowFormatDialog(offers, chosen))
            built->WriteFormat(chosen);
        const std::vector<DeviceControl> controls = built->Controls();
        if (!controls.empty()) {
            services.dialogs->ShowControlsDialog(
                requested.SELECT, controls,
                [built](const std::string& name, int value) { built->SetControl(name, value); });
        }
        if (const auto now = built->CurrentFormat()) {
            services.settings.Update([&](DiarySettings& s) {
                s.WIDTH = now->width;
                s.HEIGHT = now->height;
                if (now->frame_interval_100ns > 0) s.FRAMERATE = now->frame_interval_100ns;
            });
        }
    }

    if (const auto error = built->Link()) report(StepMessage(error->code, "RenderStream"));
    FrameFormat connected;
    // A network stream's size is known only from its first frame, which the
    // grab reads.
    const bool network = device != nullptr && !device->url.empty();
    if (const auto error = built->QueryConnectedFormat(connected)) {
        if (!network) {
            report(StepMessage(error->code, "GetConnectedMediaType"));
        } else {
            // The size of the stream's last frames, else the requested one:
            // a grab needs a size to wait with, and to rebuild with while
            // the server does not answer; the first frame gives the real one.
            const FrameFormat last = owner.Slot()->ConnectedFormat();
            connected = last.IsValid() ? last : FrameFormat{requested.WIDTH, requested.HEIGHT};
        }
    }
    Install(built, connected);
    owner.Slot()->SetBuffering(false);
    services.window.PostPreviewSource(owner.Slot());

    RunGraphAndWait(owner, services.clock, &stop, services.timings);
    services.graph.camera_gone.store(false);
    services.graph.ready.store(true);

    const DiarySettings shown = services.settings.Copy();
    services.window.PostTitle(FormatCaptureTitle(shown.SELECT, shown.WIDTH, shown.HEIGHT));
    services.worker.StartDiaryWorker();
    return true;
}

CaptureGraph::CaptureGraph(const CaptureGraphServices& services)
    : impl_(std::make_unique<Impl>(services, *this)) {}

// The window may be gone by now; it is not told.
CaptureGraph::~CaptureGraph() { impl_->StopAndRelease(false); }

bool CaptureGraph::BuildCaptureGraph(bool keepDevice, bool configureDevice) {
    return impl_->Build(BuildKind::kCommand, keepDevice, configureDevice,
                        impl_->services.worker_stop);
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
    return impl_->Build(BuildKind::kRecovery, false, false, stop);
}

void CaptureGraph::ReleaseGraph() { ReleaseCaptureGraph(); }

bool BuildCaptureGraphWithRetry(CaptureGraph& graph, bool keepDevice, bool configureDevice,
                                Prompts& prompts) {
    while (!graph.BuildCaptureGraph(keepDevice, configureDevice)) {
        if (prompts.AskYesNo(kGraphFailedPrompt)) return false;
    }
    return true;
}

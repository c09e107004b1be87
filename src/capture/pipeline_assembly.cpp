#include "capture/pipeline_assembly.h"

#include <cerrno>
#include <cstddef>

#include "capture/device_list.h"
#include "capture/device_names.h"
#include "capture/graph_pipeline.h"

AssembledPipeline AssemblePipeline(PipelineAssembly& graph, bool system_devices,
                                   const std::string& network_address) {
    // The system error code as the failed call left it.
    const auto step = [&](bool ok, AssemblyStep which) {
        return ok || graph.StepFailed(which, errno);
    };
    if (!step(EnsureGstreamer(), AssemblyStep::kStartGstreamer)) return {};

    auto built = std::make_shared<GraphPipeline>();
    errno = 0;
    if (!step(built->CreatePipeline(), AssemblyStep::kCreatePipeline) ||
        !step(built->CreateGrabber(), AssemblyStep::kCreateGrabber) ||
        !step(built->SetGrabberCaps(), AssemblyStep::kSetGrabberCaps) ||
        !step(built->AddGrabber(), AssemblyStep::kAddGrabber) ||
        !step(built->GetBus(), AssemblyStep::kGetBus)) {
        return {};
    }

    DeviceEnumeration found = EnumerateVideoDevices(system_devices);
    if (!step(!found.monitor_failed, AssemblyStep::kListDevices)) return {};
    // A stored network address is a device of its own, after the machine's,
    // present whether or not its server answers now: the grab's recoveries
    // deal with a stream that does not come.
    if (!network_address.empty())
        found.devices.push_back(VideoDevice{network_address, {}, {}, network_address});
    if (found.devices.empty()) {
        graph.NoDevice();
        return {};
    }
    std::vector<std::string> names;
    std::vector<std::size_t> device_of;
    for (std::size_t i = 0; i < found.devices.size(); ++i) {
        if (found.devices[i].name.empty()) continue;
        names.push_back(found.devices[i].name);
        device_of.push_back(i);
    }
    names = DeduplicateDeviceNames(names);

    const std::optional<int> position = graph.ChooseDevice(names);
    if (!position) return {};
    // Outside the list when every device is unnamed: nothing to bind.
    const VideoDevice* device = nullptr;
    if (*position >= 0 && *position < static_cast<int>(names.size())) {
        device = &found.devices[device_of[static_cast<std::size_t>(*position)]];
    } else if (!step(false, AssemblyStep::kPickDevice)) {
        return {};
    }
    if (device != nullptr) {
        if (!built->CreateSource(*device)) {
            if (!step(false, AssemblyStep::kCreateSource)) return {};
        } else if (!step(built->AddSource(), AssemblyStep::kAddSource)) {
            return {};
        }
    }

    const DeviceFormat requested = graph.RequestedFormat();
    const bool readable = built->ReadSourceFormats();
    built->WriteFormat(requested);
    graph.ConfigureFormat(built, readable);

    if (const auto error = built->Link()) {
        if (!graph.StepFailed(AssemblyStep::kLink, error->code)) return {};
    }
    AssembledPipeline assembled{built, {}, device != nullptr && !device->url.empty()};
    // A network stream's size is known only from its first frame, which the
    // grab reads.
    if (const auto error = built->QueryConnectedFormat(assembled.connected)) {
        if (!assembled.network && !graph.StepFailed(AssemblyStep::kConnectedFormat, error->code))
            return {};
    }
    return assembled;
}

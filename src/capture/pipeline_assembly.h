#pragma once

// Private to the capture folder: the one sequence of steps by which the
// capture graph and the preview graph put their pipelines together.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/device_dialogs.h"
#include "capture/frame_format.h"

class GraphPipeline;

// The steps that can fail, in the order they are taken.
enum class AssemblyStep {
    kStartGstreamer,
    kCreatePipeline,
    kCreateGrabber,
    kSetGrabberCaps,
    kAddGrabber,
    kGetBus,
    kListDevices,
    kPickDevice,  // the chosen position names no device
    kCreateSource,
    kAddSource,
    kLink,
    kConnectedFormat,
};

// What a graph decides while its pipeline is put together.
class PipelineAssembly {
public:
    virtual ~PipelineAssembly() = default;
    // `step` failed with `code` (the system error code, or the step's own);
    // true goes on with the next step, false ends the assembly.
    virtual bool StepFailed(AssemblyStep step, int code) = 0;
    // There is no video input device at all; the assembly ends.
    virtual void NoDevice() = 0;
    // The position in `names` (the named devices, de-duplicated, in list
    // order) of the device to bind; nullopt ends the assembly.
    virtual std::optional<int> ChooseDevice(const std::vector<std::string>& names) = 0;
    // The size and frame interval to ask the chosen device for.
    virtual DeviceFormat RequestedFormat() = 0;
    // The requested format is written (`readable`: the device's offers could
    // be read); it may still be changed before the pipeline is linked.
    virtual void ConfigureFormat(const std::shared_ptr<GraphPipeline>&, bool /*readable*/) {}
};

struct AssembledPipeline {
    // Null when the assembly ended.
    std::shared_ptr<GraphPipeline> pipeline;
    // Not valid when it could not be read.
    FrameFormat connected;
    // The device is a network stream: its size comes with its first frame.
    bool network = false;
};

// Creates the pipeline with its grabber, lists the devices (the stored
// `network_address`, when not empty, after them), binds the chosen one,
// writes its format and links it to the grabber.
AssembledPipeline AssemblePipeline(PipelineAssembly& graph, bool system_devices,
                                   const std::string& network_address);

#include "capture/pipeline_frame_source.h"

#include <chrono>

#include "capture/frame_slot.h"
#include "capture/graph_pipeline.h"
#include "platform/thread_priority.h"

PipelineFrameSource::PipelineFrameSource() : slot_(std::make_shared<FrameSlot>()) {}

PipelineFrameSource::~PipelineFrameSource() = default;

std::shared_ptr<GraphPipeline> PipelineFrameSource::CurrentPipeline() const {
    std::lock_guard lock(pipeline_mutex_);
    return pipeline_;
}

std::shared_ptr<GraphPipeline> PipelineFrameSource::SwapPipeline(
    std::shared_ptr<GraphPipeline> pipeline) {
    std::lock_guard lock(pipeline_mutex_);
    std::swap(pipeline_, pipeline);
    return pipeline;
}

void PipelineFrameSource::SetBufferSamples(bool on) { slot_->SetBuffering(on); }

bool PipelineFrameSource::Run() {
    const auto current = CurrentPipeline();
    if (!current) return false;
    // Running the graph starts its streaming threads, which take the
    // priority of the thread that starts them: never the worker's lowest.
    bool running = false;
    RunAtDefaultPriority([&] { running = current->Run(); });
    return running;
}

bool PipelineFrameSource::IsRunning(const StopSignal* stop) {
    const auto current = CurrentPipeline();
    return current && current->IsRunning(stop);
}

void PipelineFrameSource::StopWhenReady() {
    if (const auto current = CurrentPipeline()) current->StopWhenReady();
}

void PipelineFrameSource::ReleaseDevice() {
    if (const auto current = CurrentPipeline()) current->ReleaseDevice();
}

FrameFormat PipelineFrameSource::ConnectedFormat() const { return slot_->ConnectedFormat(); }

bool PipelineFrameSource::QueryBufferSize(std::size_t& size) {
    return slot_->QueryBufferSize(size);
}

bool PipelineFrameSource::CopyCurrentBuffer(std::uint8_t* destination, std::size_t size) {
    return slot_->CopyCurrentBuffer(destination, size);
}

SettleOutcome PipelineFrameSource::WaitForSettledPicture(const StopSignal& stop,
                                                         std::uint32_t max_ms,
                                                         std::uint32_t stall_ms) {
    const auto current = CurrentPipeline();
    // A stream that failed or ended brings no settled picture; the grab's
    // recoveries start it again.
    return slot_->WaitForSettled(stop, std::chrono::milliseconds(max_ms),
                                 std::chrono::milliseconds(stall_ms),
                                 [&current] { return !current || current->StreamEnded(); });
}

#pragma once

#include <memory>
#include <mutex>

#include "capture/frame_source.h"

class FrameSlot;
class GraphPipeline;

// The frame operations of a graph on a GStreamer pipeline, shared by the
// capture graph and the preview graph: each forwards to the pipeline that is
// current at the call, or to the frame slot that outlives every rebuild. The
// recoveries are the graph's own.
class PipelineFrameSource : public FrameSource {
public:
    void SetBufferSamples(bool on) override;
    bool Run() override;
    bool IsRunning(const StopSignal* stop) override;
    void StopWhenReady() override;
    void ReleaseDevice() override;
    FrameFormat ConnectedFormat() const override;
    bool QueryBufferSize(std::size_t& size) override;
    bool CopyCurrentBuffer(std::uint8_t* destination, std::size_t size) override;
    SettleOutcome WaitForSettledPicture(const StopSignal& stop, std::uint32_t max_ms,
                                        std::uint32_t stall_ms) override;

protected:
    PipelineFrameSource();
    ~PipelineFrameSource() override;

    const std::shared_ptr<FrameSlot>& Slot() const { return slot_; }
    std::shared_ptr<GraphPipeline> CurrentPipeline() const;
    // Makes `pipeline` (null: none) current and returns the one before; a
    // thread still holding the old one stays safe.
    std::shared_ptr<GraphPipeline> SwapPipeline(std::shared_ptr<GraphPipeline> pipeline);

private:
    const std::shared_ptr<FrameSlot> slot_;
    mutable std::mutex pipeline_mutex_;
    std::shared_ptr<GraphPipeline> pipeline_;
};

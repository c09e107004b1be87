#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "capture/frame_source.h"

// A scripted grabber. Frames are generated per copy from a counter, so a
// "moving" source changes on every copy and a "still" one never does.
class FakeFrameSource final : public FrameSource {
public:
    enum class Mode { kMoving, kStill, kCopyFails };

    explicit FakeFrameSource(FrameFormat format = {320, 240}) : format_(format) {}

    void SetMode(Mode mode) { mode_.store(mode); }
    // Makes every frame this picture (bottom-up BGR, format size).
    void SetPicture(std::vector<std::uint8_t> picture);
    // Fills every successful copy instead of the mode's frames; gets the copy's
    // number (from 1).
    void SetFrameGenerator(std::function<void(int, std::uint8_t*, std::size_t)> generator) {
        generator_ = std::move(generator);
    }
    // Called on every copy with the copy's number (from 1).
    void OnCopy(std::function<void(int)> hook) { on_copy_ = std::move(hook); }
    // A recovery rebuild switches the source to this mode.
    // Run() succeeds but the graph never reports running.
    void SetNeverRuns(bool never) { never_runs_.store(never); }
    void SetModeAfterRebuild(Mode mode) {
        mode_after_rebuild_ = mode;
        has_mode_after_rebuild_ = true;
    }

    void SetBufferSamples(bool on) override;
    bool Run() override;
    bool IsRunning(const StopSignal*) override { return running_.load() && !never_runs_.load(); }
    void StopWhenReady() override;
    FrameFormat ConnectedFormat() const override { return format_; }
    bool QueryBufferSize(std::size_t& size) override;
    bool CopyCurrentBuffer(std::uint8_t* destination, std::size_t size) override;
    SettleOutcome WaitForSettledPicture(const StopSignal& stop, std::uint32_t max_ms,
                                        std::uint32_t stall_ms) override;
    bool RebuildGraph(const StopSignal& stop) override;
    void ReleaseGraph() override;
    void ReleaseDevice() override;

    // One settle wait as the grab asked for it, with what had happened before.
    struct SettleWait {
        std::uint32_t max_ms = 0;
        std::uint32_t stall_ms = 0;
        int copies_before = 0;
        int rebuilds_before = 0;
        bool buffering = false;
    };
    // Answers every settle wait (default: settled at once).
    void OnSettleWait(std::function<SettleOutcome()> answer) { settle_answer_ = std::move(answer); }
    std::vector<SettleWait> settle_waits() const {
        std::lock_guard lock(mutex_);
        return settle_waits_;
    }

    int copies() const { return copies_.load(); }
    int rebuilds() const { return rebuilds_.load(); }
    int releases() const { return releases_.load(); }
    int device_releases() const { return device_releases_.load(); }
    int runs() const { return runs_.load(); }
    int stops() const { return stops_.load(); }
    bool buffering() const { return buffering_.load(); }
    int buffering_switches_on() const { return buffering_on_count_.load(); }

private:
    FrameFormat format_;
    std::atomic<Mode> mode_{Mode::kMoving};
    Mode mode_after_rebuild_ = Mode::kMoving;
    bool has_mode_after_rebuild_ = false;
    std::vector<std::uint8_t> picture_;
    std::function<void(int)> on_copy_;
    std::function<void(int, std::uint8_t*, std::size_t)> generator_;
    std::function<SettleOutcome()> settle_answer_;
    mutable std::mutex mutex_;
    std::vector<SettleWait> settle_waits_;
    std::atomic<bool> buffering_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> never_runs_{false};
    std::atomic<int> copies_{0}, rebuilds_{0}, releases_{0}, device_releases_{0}, runs_{0},
        stops_{0}, buffering_on_count_{0};
};

#include "support/fake_frame_source.h"

#include <cstring>

void FakeFrameSource::SetPicture(std::vector<std::uint8_t> picture) {
    picture_ = std::move(picture);
}

void FakeFrameSource::SetBufferSamples(bool on) {
    buffering_.store(on);
    if (on) buffering_on_count_.fetch_add(1);
}

bool FakeFrameSource::Run() {
    runs_.fetch_add(1);
    running_.store(true);
    return true;
}

void FakeFrameSource::StopWhenReady() {
    stops_.fetch_add(1);
    running_.store(false);
}

bool FakeFrameSource::QueryBufferSize(std::size_t& size) {
    if (!buffering_.load()) return false;
    size = format_.SizeBytes();
    return true;
}

bool FakeFrameSource::CopyCurrentBuffer(std::uint8_t* destination, std::size_t size) {
    const int n = copies_.fetch_add(1) + 1;
    if (on_copy_) on_copy_(n);
    if (mode_.load() == Mode::kCopyFails || !buffering_.load() || size != format_.SizeBytes())
        return false;
    if (generator_) {
        generator_(n, destination, size);
        return true;
    }
    if (!picture_.empty()) {
        std::memcpy(destination, picture_.data(), size);
        // A moving source with a fixed picture varies one byte per copy.
        if (mode_.load() == Mode::kMoving) destination[0] = static_cast<std::uint8_t>(n);
        return true;
    }
    const std::uint8_t value =
        mode_.load() == Mode::kMoving ? static_cast<std::uint8_t>(n * 37) : 0x55;
    std::memset(destination, value, size);
    return true;
}

SettleOutcome FakeFrameSource::WaitForSettledPicture(const StopSignal&, std::uint32_t max_ms,
                                                     std::uint32_t stall_ms) {
    {
        std::lock_guard lock(mutex_);
        settle_waits_.push_back(
            {max_ms, stall_ms, copies_.load(), rebuilds_.load(), buffering_.load()});
    }
    return settle_answer_ ? settle_answer_() : SettleOutcome::kSettled;
}

bool FakeFrameSource::RebuildGraph(const StopSignal&) {
    rebuilds_.fetch_add(1);
    if (has_mode_after_rebuild_) mode_.store(mode_after_rebuild_);
    running_.store(true);
    return true;
}

void FakeFrameSource::ReleaseDevice() {
    device_releases_.fetch_add(1);
    running_.store(false);
}

void FakeFrameSource::ReleaseGraph() {
    releases_.fetch_add(1);
    running_.store(false);
}

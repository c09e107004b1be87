#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "events/diary_events.h"

// Sees the diary's stores begin and end, on a thread of its own, so that a
// day's video being made on the timelapse's thread can give way to them: the
// two share the processor at the same priority, and a store is what must
// not be late.
class StoreWatch final : public DiarySubscriber {
public:
    // A store that ends without saying so (a stop, a graph not ready) is
    // given way to no longer than this.
    static constexpr std::chrono::milliseconds kLongestWay{3000};

    std::string Name() const override { return "timelapse (stores)"; }
    void Handle(const DiaryEvent& event, const StopSignal& stop) override;

    // Any thread: true from a store's StoreComing to its PictureStored or
    // StoreFailed, at most kLongestWay.
    bool StoreUnderWay() const;

private:
    // steady_clock milliseconds of the store's start; -1 when none is under way.
    std::atomic<std::int64_t> since_ms_{-1};
};

#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "events/diary_event.h"
#include "platform/stop_signal.h"

// One job that runs after pictures: retention, publishing, the timelapse,
// commands on events. Every call comes on the job's own thread, one at a time.
class DiarySubscriber {
public:
    virtual ~DiarySubscriber() = default;

    // Names the job in log lines.
    virtual std::string Name() const = 0;
    // First call on the job's thread (catch-up work at start).
    virtual void Begin(const StopSignal& /*stop*/) {}
    virtual void Handle(const DiaryEvent& event, const StopSignal& stop) = 0;
    // How long the job may sleep with no event before Wake; nullopt sleeps
    // until an event. Asked again after every call.
    virtual std::optional<std::chrono::milliseconds> NextWake() { return std::nullopt; }
    virtual void Wake(const StopSignal& /*stop*/) {}
    // Last call, after the stop: `stop` is set. Short work only (a flush).
    virtual void End(const StopSignal& /*stop*/) {}
};

// Whether a store is under way: from a StoreComing to its PictureStored or
// StoreFailed, at most kLongestStore (a store that ends without saying so: a
// stop, a graph not ready). Any thread.
class StoreProgress {
public:
    static constexpr std::chrono::milliseconds kLongestStore{3000};

    void Note(const DiaryEvent& event);
    bool UnderWay() const;

private:
    // steady_clock milliseconds of the store's start; -1 when none is under way.
    std::atomic<std::int64_t> since_ms_{-1};
};

// Hands each event to every subscriber on that subscriber's own thread, at
// idle priority, through a bounded queue: publishing never waits, a stuck job
// holds up only itself, and what a full queue cannot take is counted and said
// once. Stop ends every thread and joins it; events still queued then are
// counted as dropped, never half run.
class DiaryEvents final : public EventPublisher {
public:
    static constexpr std::size_t kDefaultQueueCap = 1024;

    // `overflowed` gets the name of a job whose queue refused its first event
    // (any thread; the owner turns it into a log line). `queue_cap` bounds
    // each subscriber's queue.
    explicit DiaryEvents(std::function<void(const std::string& job)> overflowed = {},
                         std::size_t queue_cap = kDefaultQueueCap);
    // Stops.
    ~DiaryEvents() override;
    DiaryEvents(const DiaryEvents&) = delete;
    DiaryEvents& operator=(const DiaryEvents&) = delete;

    // On the owner's thread, before Start only.
    void Subscribe(std::shared_ptr<DiarySubscriber> subscriber);
    // Starts one thread per subscriber. Once only; nothing after Stop.
    void Start();
    void Publish(DiaryEvent event) override;
    // Requests the stop, wakes every job and joins every thread; owner's
    // thread. Idempotent. A job that never returns from a call holds it up:
    // jobs end their work when their stop is set.
    void Stop();

    // Events a subscriber never received (its queue was full, or the stop
    // came first); `name` as its Name().
    std::uint64_t Dropped(const std::string& name) const;
    std::size_t SubscriberCount() const;

    // Any thread: a store is under way (see StoreProgress), as published,
    // whether or not the jobs have started; a job's long work gives way to it.
    bool StoreUnderWay() const { return stores_.UnderWay(); }

private:
    class Strand;

    enum State { kNew, kStarted, kStopped };

    std::function<void(const std::string&)> overflowed_;
    const std::size_t queue_cap_;
    // Written by the owner's thread before Start only.
    std::vector<std::unique_ptr<Strand>> strands_;
    std::atomic<int> state_{kNew};
    StoreProgress stores_;
};

#include "events/diary_events.h"

#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <thread>
#include <utility>

#include "platform/thread_priority.h"

namespace {

std::int64_t SteadyNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void StoreProgress::Note(const DiaryEvent& event) {
    if (std::holds_alternative<StoreComing>(event)) {
        since_ms_.store(SteadyNowMs());
    } else if (std::holds_alternative<PictureStored>(event) ||
               std::holds_alternative<StoreFailed>(event) ||
               std::holds_alternative<PictureSkipped>(event)) {
        since_ms_.store(-1);
    }
}

bool StoreProgress::UnderWay() const {
    const std::int64_t since = since_ms_.load();
    return since >= 0 && SteadyNowMs() - since < kLongestStore.count();
}

class DiaryEvents::Strand {
public:
    Strand(std::shared_ptr<DiarySubscriber> subscriber, std::size_t cap)
        : subscriber_(std::move(subscriber)), name_(subscriber_->Name()), cap_(cap) {}

    void Start() {
        thread_ = std::thread([this] { Run(); });
    }

    // False when the event could not be queued; `first_overflow` is set for
    // the first event a full queue refused.
    bool Offer(DiaryEvent&& event, bool& first_overflow) {
        bool was_empty = false;
        {
            std::lock_guard lock(mutex_);
            if (stopping_ || queue_.size() >= cap_) {
                ++dropped_;
                first_overflow = !stopping_ && !overflow_said_;
                if (first_overflow) overflow_said_ = true;
                return false;
            }
            was_empty = queue_.empty();
            queue_.push_back(std::move(event));
        }
        // The job waits only on an empty queue: the wake-up (a system call
        // on the publishing thread) is needed only then.
        if (was_empty) wake_.notify_one();
        return true;
    }

    void Stop() {
        // Requested first: whatever the thread does once it sees stopping_
        // (End) already finds the stop set.
        stop_.Request();
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
    }

    void Join() {
        if (thread_.joinable()) thread_.join();
    }

    const std::string& Name() const { return name_; }
    std::uint64_t Dropped() const {
        std::lock_guard lock(mutex_);
        return dropped_;
    }

private:
    void Run() {
        LowerThreadToIdlePriority();
        // Named once lowered, so that a thread of this name is always at it.
        pthread_setname_np(pthread_self(), "diary job");
        subscriber_->Begin(stop_);
        for (;;) {
            const std::optional<std::chrono::milliseconds> wake = subscriber_->NextWake();
            std::optional<DiaryEvent> event;
            {
                std::unique_lock lock(mutex_);
                const auto ready = [this] { return stopping_ || !queue_.empty(); };
                if (wake) {
                    wake_.wait_for(lock, std::max(*wake, std::chrono::milliseconds(0)), ready);
                } else {
                    wake_.wait(lock, ready);
                }
                if (stopping_) {
                    dropped_ += queue_.size();
                    queue_.clear();
                    break;
                }
                if (!queue_.empty()) {
                    event = std::move(queue_.front());
                    queue_.pop_front();
                }
            }
            if (event) {
                subscriber_->Handle(*event, stop_);
            } else {
                subscriber_->Wake(stop_);
            }
        }
        subscriber_->End(stop_);
    }

    const std::shared_ptr<DiarySubscriber> subscriber_;
    const std::string name_;
    const std::size_t cap_;
    StopSignal stop_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<DiaryEvent> queue_;
    std::uint64_t dropped_ = 0;
    bool overflow_said_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

DiaryEvents::DiaryEvents(std::function<void(const std::string&)> overflowed, std::size_t queue_cap)
    : overflowed_(std::move(overflowed)), queue_cap_(queue_cap > 0 ? queue_cap : 1) {}

DiaryEvents::~DiaryEvents() { Stop(); }

void DiaryEvents::Subscribe(std::shared_ptr<DiarySubscriber> subscriber) {
    if (!subscriber || state_.load() != kNew) return;
    strands_.push_back(std::make_unique<Strand>(std::move(subscriber), queue_cap_));
}

void DiaryEvents::Start() {
    if (state_.load() != kNew) return;
    for (const auto& strand : strands_) strand->Start();
    state_.store(kStarted, std::memory_order_release);
}

void DiaryEvents::Publish(DiaryEvent event) {
    stores_.Note(event);
    // The strands are fixed from Start on and live until the destructor, so
    // publishers read them without a lock; a strand that is stopping counts
    // the event as dropped.
    if (state_.load(std::memory_order_acquire) == kNew) return;
    for (std::size_t i = 0; i < strands_.size(); ++i) {
        // The last strand may take the event itself; the others a copy.
        DiaryEvent copy = i + 1 < strands_.size() ? event : std::move(event);
        bool first_overflow = false;
        if (!strands_[i]->Offer(std::move(copy), first_overflow) && first_overflow && overflowed_) {
            overflowed_(strands_[i]->Name());
        }
    }
}

void DiaryEvents::Stop() {
    if (state_.exchange(kStopped) != kStarted) return;
    for (const auto& strand : strands_) strand->Stop();
    // Not under any lock of ours: a job that publishes while it ends must
    // not wait for this join.
    for (const auto& strand : strands_) strand->Join();
}

std::uint64_t DiaryEvents::Dropped(const std::string& name) const {
    std::uint64_t dropped = 0;
    for (const auto& strand : strands_) {
        if (strand->Name() == name) dropped += strand->Dropped();
    }
    return dropped;
}

std::size_t DiaryEvents::SubscriberCount() const { return strands_.size(); }

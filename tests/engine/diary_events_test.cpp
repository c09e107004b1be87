#include "events/diary_events.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "diary/picture_store.h"
#include "settings/shared_settings.h"
#include "support/fake_clock.h"
#include "support/fake_frame_source.h"
#include "support/local_time.h"
#include "support/recording_notice_sink.h"
#include "support/temp_dir.h"
#include "web/web_pages.h"

namespace {

using namespace std::chrono_literals;

// Keeps every event it is handed.
class Recorder final : public DiarySubscriber {
public:
    explicit Recorder(std::string name = "recorder") : name_(std::move(name)) {}
    std::string Name() const override { return name_; }
    void Handle(const DiaryEvent& event, const StopSignal&) override {
        std::lock_guard lock(mutex_);
        EXPECT_FALSE(ended_) << "an event after End";
        events_.push_back(event);
        changed_.notify_all();
    }
    void End(const StopSignal& stop) override {
        std::lock_guard lock(mutex_);
        EXPECT_TRUE(stop.IsSet());
        ++ends_;
        ended_ = true;
    }
    // Waits (bounded) until `count` events have come.
    std::vector<DiaryEvent> AwaitEvents(std::size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, 30s, [&] { return events_.size() >= count; });
        return events_;
    }
    std::size_t Count() {
        std::lock_guard lock(mutex_);
        return events_.size();
    }
    int Ends() {
        std::lock_guard lock(mutex_);
        return ends_;
    }

private:
    const std::string name_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<DiaryEvent> events_;
    int ends_ = 0;
    bool ended_ = false;
};

// Does not come back from its first event until released.
class Stuck final : public DiarySubscriber {
public:
    std::string Name() const override { return "stuck"; }
    void Handle(const DiaryEvent&, const StopSignal&) override {
        if (++handled == 1) entered.set_value();
        release_future.wait();
    }
    std::atomic<int> handled{0};
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> release_future = release.get_future().share();
};

TEST(DiaryEvents, AStuckJobHoldsUpNoStoreAndNoOtherJob) {
    TempDir save;
    FakeFrameSource source{FrameFormat{320, 240}};
    GraphState graph;
    graph.ready = true;
    FakeClock clock;
    SharedSettings settings;
    settings.Update([&](DiarySettings& s) {
        s.SAVE_DIRECTORY = save.str();
        s.SHOW_TEXT = false;
    });
    RecordingNoticeSink notices;
    WebPages pages{notices};
    DiaryEvents events;
    auto stuck = std::make_shared<Stuck>();
    auto recorder = std::make_shared<Recorder>();
    events.Subscribe(stuck);
    events.Subscribe(recorder);
    events.Start();
    PictureStore store{source, graph, clock, settings, pages, notices, {}, &events};
    const StopSignal stop;

    // Every store returns while the stuck job still holds its first event.
    clock.SetWallClock(LocalTime(2024, 3, 15, 9, 30, 5));
    ASSERT_EQ(store.StorePicture(stop, PictureTrigger::kInterval), kStoreOk);
    stuck->entered.get_future().wait();
    clock.SetWallClock(LocalTime(2024, 3, 15, 9, 30, 7));
    ASSERT_EQ(store.StorePicture(stop, PictureTrigger::kMotion), kStoreOk);
    graph.ready = false;
    graph.camera_gone = false;
    EXPECT_EQ(store.StorePicture(stop),
              kStoreFailed);  // graph down: nothing said, nothing published
    graph.ready = true;
    std::filesystem::remove_all(save.path());
    EXPECT_EQ(store.StorePicture(stop), kStoreFailed);  // no save folder: said and published

    // StoreComing, DayBegun, PictureStored; StoreComing, PictureStored;
    // StoreComing, StoreFailed.
    const std::vector<DiaryEvent> seen = recorder->AwaitEvents(7);
    ASSERT_EQ(seen.size(), 7u);
    EXPECT_EQ(stuck->handled.load(), 1);
    EXPECT_TRUE(std::holds_alternative<StoreComing>(seen[0]));
    ASSERT_TRUE(std::holds_alternative<DayBegun>(seen[1]));
    EXPECT_EQ(std::get<DayBegun>(seen[1]).day_name, "20240315");
    const auto* first = std::get_if<PictureStored>(&seen[2]);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->path, save.str() + "20240315/20240315093005.jpg");
    EXPECT_EQ(first->trigger, PictureTrigger::kInterval);
    EXPECT_EQ(std::tuple(first->width, first->height, first->capture_time.tm_sec),
              std::tuple(320, 240, 5));
    // Both pages are "preview.html" by default: the day's, then the index.
    EXPECT_EQ(first->pages, (std::vector<std::string>{save.str() + "20240315/preview.html",
                                                      save.str() + "preview.html"}));
    const auto* second = std::get_if<PictureStored>(&seen[4]);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->trigger, PictureTrigger::kMotion);
    ASSERT_TRUE(std::holds_alternative<StoreFailed>(seen[6]));
    EXPECT_EQ(std::get<StoreFailed>(seen[6]).notice_code, 256);

    stuck->release.set_value();
    events.Stop();
    EXPECT_EQ(recorder->Ends(), 1);
    EXPECT_EQ(events.Dropped("recorder"), 0u);
}

TEST(DiaryEvents, AFullQueueCountsWhatItRefusesAndSaysSoOnce) {
    std::vector<std::string> said;
    std::mutex said_mutex;
    DiaryEvents events(
        [&](const std::string& job) {
            std::lock_guard lock(said_mutex);
            said.push_back(job);
        },
        4);
    auto stuck = std::make_shared<Stuck>();
    events.Subscribe(stuck);
    events.Start();
    events.Publish(StoreFailed{257});
    stuck->entered.get_future().wait();
    // One event in the job's hands, four queued, five refused.
    for (int i = 0; i < 9; ++i) events.Publish(StoreFailed{257});
    EXPECT_EQ(events.Dropped("stuck"), 5u);
    {
        std::lock_guard lock(said_mutex);
        ASSERT_EQ(said.size(), 1u);
        EXPECT_EQ(said[0], "stuck");
    }
    stuck->release.set_value();
    events.Stop();
    // Whatever the stop left queued is counted too: nothing is lost unseen.
    EXPECT_EQ(stuck->handled.load() + events.Dropped("stuck"), 10u);
    std::lock_guard lock(said_mutex);
    EXPECT_EQ(said.size(), 1u);
}

// A job that takes its time over each event but ends it when the stop comes.
class Slow final : public DiarySubscriber {
public:
    std::string Name() const override { return "slow"; }
    void Handle(const DiaryEvent&, const StopSignal& stop) override {
        EXPECT_FALSE(inside.exchange(true));
        stop.WaitFor(2ms);
        ++handled;
        inside = false;
    }
    void End(const StopSignal&) override { ended_inside = inside.load(); }
    std::atomic<bool> inside{false};
    std::atomic<bool> ended_inside{false};
    std::atomic<std::uint64_t> handled{0};
};

TEST(DiaryEvents, StopJoinsWithEventsInFlightAndEveryEventIsHandledOrCounted) {
    for (int round = 0; round < 20; ++round) {
        DiaryEvents events({}, 64);
        auto slow = std::make_shared<Slow>();
        auto recorder = std::make_shared<Recorder>();
        events.Subscribe(slow);
        events.Subscribe(recorder);
        events.Start();
        std::atomic<bool> go_on{true};
        std::atomic<std::uint64_t> published{0};
        std::vector<std::thread> publishers;
        for (int t = 0; t < 2; ++t) {
            publishers.emplace_back([&] {
                while (go_on.load()) {
                    events.Publish(StoreComing{"/diary/"});
                    ++published;
                    std::this_thread::yield();
                }
            });
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 5));
        events.Stop();
        EXPECT_FALSE(slow->inside.load());
        EXPECT_FALSE(slow->ended_inside.load());
        go_on = false;
        for (auto& publisher : publishers) publisher.join();
        // Published after the stop as well: counted, never handled.
        EXPECT_EQ(slow->handled.load() + events.Dropped("slow"), published.load());
        EXPECT_EQ(recorder->Count() + events.Dropped("recorder"), published.load());
        EXPECT_EQ(recorder->Ends(), 1);
    }
}

}  // namespace

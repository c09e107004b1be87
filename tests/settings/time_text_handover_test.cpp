#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "diary/diary_worker.h"
#include "diary/page_writers.h"
#include "diary/picture_store.h"
#include "settings/shared_settings.h"
#include "settings/time_text_group.h"
#include "support/fake_clock.h"
#include "support/fake_frame_source.h"
#include "support/recording_notice_sink.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

// What each store handed on: the time text group of the copy it drew with.
class GroupRecordingPages final : public PageWriters {
public:
    void ResetCache() override {}
    void ForgetDayThumbnails() override {}
    std::vector<std::string> WritePages(const StoredPicture&,
                                        const DiarySettings& settings) override {
        std::lock_guard lock(mutex_);
        seen_.push_back(TimeTextGroupOf(settings));
        return {};
    }
    std::vector<TimeTextGroup> Seen() const {
        std::lock_guard lock(mutex_);
        return seen_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<TimeTextGroup> seen_;
};

const TimeTextGroup kGroupA{
    true, 3, 4, "%Y/%M/%D(%w) %h:%m:%s", "IPAGothic", 12, false, false, true, 1, 1, 0xFFFFFF, 0};
// Differs from A in every field but SHOW_TEXT (both draw, so every store reads
// the strings); its strings live on the heap, so a torn copy would mix buffers.
const TimeTextGroup kGroupB{true,
                            30,
                            40,
                            std::string(600, 'x') + " %h時%m分 " + std::string(600, 'y'),
                            "DejaVu Sans Mono with a rather long family name",
                            20,
                            true,
                            true,
                            false,
                            -3,
                            -4,
                            0x0000FF,
                            0x00FF00};

TEST(TimeTextHandOver, StoresRunningMeanwhileSeeOnlyWholeGroups) {
    TempDir save;
    FakeFrameSource source{FrameFormat{32, 24}};
    GraphState graph;
    graph.ready = true;
    FakeClock clock;
    SharedSettings settings;
    const TimeTextGroup& a = kGroupA;
    const TimeTextGroup& b = kGroupB;
    settings.Update([&](DiarySettings& s) {
        s.SAVE_DIRECTORY = save.str();
        s.ONAIR = true;
        s.INTERVAL_HOUR = 0;
        s.INTERVAL_MINUTE = 0;
        s.INTERVAL_SECOND = 1;
        s.MOTION_DETECT = false;
        PutTimeTextGroup(s, a);
    });
    GroupRecordingPages pages;
    RecordingNoticeSink notices;
    PictureStore store{source, graph, clock, settings, pages, notices};
    DiaryWorker worker(DiaryWorkerDependencies{
        source, graph, clock, settings, notices,
        [&](const StopSignal& stop, PictureTrigger) { return store.StorePicture(stop); },
        [] { return MakeMotionReferenceMeter(); }});
    worker.ReopenDiaryWorker();
    ASSERT_TRUE(worker.StartDiaryWorker());

    // The worker runs at idle priority: keep handing over until it has
    // stored often enough, however slowly it is scheduled.
    constexpr int kHandOvers = 2000;
    constexpr std::size_t kStores = 200;
    const auto ceiling = std::chrono::steady_clock::now() + 120s;
    int handed = 0;
    while ((handed < kHandOvers || pages.Seen().size() < kStores) &&
           std::chrono::steady_clock::now() < ceiling) {
        HandOverTimeText(settings, handed % 2 == 0 ? b : a);
        ++handed;
        if (handed % 50 == 0) std::this_thread::yield();
    }
    worker.StopDiaryWorker();

    const std::vector<TimeTextGroup> seen = pages.Seen();
    EXPECT_GE(handed, kHandOvers);
    ASSERT_GE(seen.size(), kStores);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        if (seen[i] != a && seen[i] != b) {
            ADD_FAILURE() << "store " << i << " drew with a mixed group: format of "
                          << seen[i].TIME_FORMAT.size() << " bytes, face " << seen[i].FONT_NAME;
        }
    }
    EXPECT_TRUE(notices.codes().empty());
    // The group of the last hand-over is the one the next store copies.
    EXPECT_EQ(TimeTextGroupOf(settings.Copy()), handed % 2 == 0 ? a : b);
}

TEST(TimeTextHandOver, ReplacesTheWholeGroupAndNothingElse) {
    DiarySettings s;
    s.JPEG_QUALITY = 33;
    PutTimeTextGroup(s, kGroupB);
    SharedSettings shared(s);
    HandOverTimeText(shared, kGroupA);
    DiarySettings expected = s;
    PutTimeTextGroup(expected, kGroupA);
    EXPECT_EQ(shared.Copy(), expected);
    EXPECT_EQ(TimeTextGroupOf(expected), kGroupA);
    EXPECT_EQ(TimeTextGroupOf(s), kGroupB);
}

}  // namespace

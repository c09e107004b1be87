#pragma once

#include <ctime>
#include <filesystem>
#include <string>

#include "diary/picture_store.h"
#include "platform/stop_signal.h"
#include "settings/shared_settings.h"
#include "support/fake_clock.h"
#include "support/fake_frame_source.h"
#include "support/local_time.h"
#include "support/recording_notice_sink.h"
#include "support/temp_dir.h"
#include "web/web_pages.h"

// The expected files in tests/web/data (the folder is compiled in so that a
// test run outside CTest finds it as well).
inline std::string TestData(const std::string& name) {
    return ReadFileBytes(std::filesystem::path(QUILLOMAT_WEB_TEST_DATA) / name);
}

// The page writers, keeping what the last store handed them.
class KeptPicturePages final : public PageWriters {
public:
    explicit KeptPicturePages(PageWriters& pages) : pages_(pages) {}
    void ResetCache() override { pages_.ResetCache(); }
    void ForgetDayThumbnails() override { pages_.ForgetDayThumbnails(); }
    std::vector<std::string> WritePages(const StoredPicture& picture,
                                        const DiarySettings& settings) override {
        last = picture;
        return pages_.WritePages(picture, settings);
    }
    StoredPicture last;

private:
    PageWriters& pages_;
};

// A diary in a temporary save folder, stored through the real picture store
// and page writers.
class DiaryFixture {
public:
    DiaryFixture() {
        settings.Update([&](DiarySettings& s) {
            s.SAVE_DIRECTORY = save.path().string();
            s.SHOW_TEXT = false;
        });
        graph.ready = true;
    }

    std::int32_t StoreAt(std::time_t when) {
        clock.SetWallClock(when);
        return store.StorePicture(stop);
    }
    template <class Fn>
    void Edit(Fn fn) {
        settings.Update(fn);
    }
    std::filesystem::path Path(const std::string& relative) const { return save.path() / relative; }
    std::string Page(const std::string& relative) const { return ReadFileBytes(Path(relative)); }

    TempDir save;
    FakeFrameSource source{FrameFormat{320, 240}};
    GraphState graph;
    FakeClock clock;
    SharedSettings settings;
    RecordingNoticeSink notices;
    WebPages pages{notices};
    KeptPicturePages kept{pages};
    StopSignal stop;
    PictureStore store{source, graph, clock, settings, kept, notices};
};

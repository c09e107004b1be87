// Makes a small diary of real JPEG pictures over several days in two months
// through the picture store and the page writers, for the browser check.
#include <cstdio>
#include <ctime>
#include <string>

#include "diary/picture_store.h"
#include "log/diary_notice.h"
#include "platform/stop_signal.h"
#include "settings/shared_settings.h"
#include "support/fake_clock.h"
#include "support/fake_frame_source.h"
#include "support/local_time.h"
#include "web/web_pages.h"

namespace {

class CountingNotices final : public NoticeSink {
public:
    void Post(int code) override {
        std::fprintf(stderr, "notice %d\n", code);
        ++count;
    }
    int count = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SAVE_DIRECTORY\n", argv[0]);
        return 2;
    }
    FakeFrameSource source{FrameFormat{160, 120}};
    GraphState graph;
    graph.ready = true;
    FakeClock clock;
    SharedSettings settings;
    settings.Update([&](DiarySettings& s) {
        s.SAVE_DIRECTORY = argv[1];
        s.SHOW_TEXT = false;
    });
    CountingNotices notices;
    WebPages pages{notices};
    StopSignal stop;
    PictureStore store{source, graph, clock, settings, pages, notices};

    struct Shot {
        int month, day, hour, minute;
    };
    const Shot shots[] = {{1, 30, 9, 0}, {1, 30, 9, 10}, {2, 5, 8, 0}, {2, 5, 8, 30},
                          {2, 5, 9, 0},  {2, 20, 7, 0},  {2, 20, 7, 5}};
    for (const Shot& shot : shots) {
        clock.SetWallClock(LocalTime(2024, shot.month, shot.day, shot.hour, shot.minute));
        if (store.StorePicture(stop) != kStoreOk) {
            std::fprintf(stderr, "store failed\n");
            return 1;
        }
    }
    return notices.count == 0 ? 0 : 1;
}

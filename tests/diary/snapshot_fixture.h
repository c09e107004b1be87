#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "capture/graph_state.h"
#include "diary/snapshot.h"
#include "platform/prompts.h"
#include "platform/stop_signal.h"
#include "settings/shared_settings.h"
#include "support/fake_clock.h"
#include "support/fake_frame_source.h"
#include "support/temp_dir.h"

class MessagePrompts final : public Prompts {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string&) override { return false; }
    std::vector<std::string> messages;
};

// A snapshot's surroundings: a test camera of the given size whose frames
// are one grey value per copy, a graph that is ready, a clock at
// 2024-03-15 09:30:05 local time and a fresh application folder.
class SnapshotFixture {
public:
    explicit SnapshotFixture(FrameFormat format = {320, 240}) : format(format), source(format) {
        settings.Update([](DiarySettings& s) { s.SHOW_TEXT = false; });
        source.SetFrameGenerator([](int n, std::uint8_t* frame, std::size_t size) {
            std::memset(frame, 40 + n % 100, size);
        });
        graph.ready = true;
        std::tm t{};
        t.tm_year = 124;
        t.tm_mon = 2;
        t.tm_mday = 15;
        t.tm_hour = 9;
        t.tm_min = 30;
        t.tm_sec = 5;
        t.tm_isdst = -1;
        clock.SetWallClock(std::mktime(&t));
    }

    SnapshotResult Take(SnapshotView& view) {
        return TakeSnapshot({source, graph, clock, stop, settings, prompts, view, home.str()});
    }
    std::filesystem::path Bitmap() const { return home.path() / "snap.tmp"; }
    std::filesystem::path TemporaryJpeg() const { return home.path() / "20240315093005.jpg"; }
    std::vector<std::string> HomeEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(home.path()))
            names.push_back(entry.path().filename().string());
        return names;
    }

    FrameFormat format;
    FakeFrameSource source;
    GraphState graph;
    FakeClock clock;
    StopSignal stop;
    SharedSettings settings;
    MessagePrompts prompts;
    TempDir home;
};

// True when some pixel of the region differs from its first one.
inline bool RegionVaries(const std::function<std::uint32_t(int, int)>& pixel, int x0, int y0,
                         int x1, int y1) {
    const std::uint32_t first = pixel(x0, y0);
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            if (pixel(x, y) != first) return true;
        }
    }
    return false;
}

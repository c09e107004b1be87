#pragma once

#include <atomic>
#include <cstdint>

#include "capture/frame_grab.h"
#include "diary/layout/diary_names.h"
#include "events/diary_event.h"

class Clock;
class NoticeSink;
class PageWriters;
class SharedSettings;
class StopSignal;

inline constexpr std::int32_t kStoreOk = 0;
// The frame was darker than SKIP_DARK_BELOW: nothing was written.
inline constexpr std::int32_t kStoreSkippedDark = 1;
inline constexpr std::int32_t kStoreFailed = static_cast<std::int32_t>(0x80004005);  // E_FAIL

// Stores one diary picture: fresh frame, time text, JPEG file under
// SAVE_DIRECTORY/YYYYMMDD/YYYYMMDDhhmmss.jpg (a numbered name when that one
// is taken: a store never replaces a picture), then the pages.
class PictureStore {
public:
    PictureStore(FrameSource& source, GraphState& graph, Clock& clock, SharedSettings& settings,
                 PageWriters& pages, NoticeSink& notices, CaptureTimings timings = {},
                 EventPublisher* events = nullptr)
        : source_(source),
          graph_(graph),
          clock_(clock),
          settings_(settings),
          pages_(pages),
          notices_(notices),
          timings_(timings),
          events_(events != nullptr ? *events : no_events_) {}

    // kStoreOk, kStoreSkippedDark or kStoreFailed. Runs on the worker
    // thread; `stop` is the worker's stop request. Publishes StoreComing,
    // then DayBegun for a new day folder, then PictureStored, PictureSkipped
    // or StoreFailed.
    std::int32_t StorePicture(const StopSignal& stop,
                              PictureTrigger trigger = PictureTrigger::kInterval);

    // Set when a settings dialog that changes the pages ends with OK; the next
    // store empties the page caches.
    void MarkPagesChanged() { pages_changed_.store(true); }
    bool PagesChanged() const { return pages_changed_.load(); }

private:
    FrameSource& source_;
    GraphState& graph_;
    Clock& clock_;
    SharedSettings& settings_;
    PageWriters& pages_;
    NoticeSink& notices_;
    const CaptureTimings timings_;
    NoEventPublisher no_events_;
    EventPublisher& events_;
    std::atomic<bool> pages_changed_{false};
};

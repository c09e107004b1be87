#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "events/diary_events.h"
#include "log/log_text.h"

class Clock;
class SharedSettings;
class StoreWatch;
class WebPages;
struct DiarySettings;

struct DayTimelapseServices {
    SharedSettings& settings;
    WebPages& pages;
    // Where DayVideoMade goes (the diary's events).
    EventPublisher& events;
    Clock& clock;
    std::function<void(const LogText&)> post_line;
    // The diary's stores, which a video being made gives way to; may be null.
    std::shared_ptr<const StoreWatch> stores;
};

// The timelapse of every finished day: with TIMELAPSE_MAKE on, each past day
// folder that has pictures and no video gets "YYYYMMDD.webm" (see
// MakeDayVideo), newest day first, one day per wake so that the diary's
// events are taken in between; then the day's page is rewritten to link it
// and DayVideoMade is published. Looks at the past days at start, when a day
// begins (the one before is over), when the save folder changes and when
// TIMELAPSE_MAKE is switched on. Today and days after it are never made.
class DayTimelapse final : public DiarySubscriber {
public:
    // How often a diary with TIMELAPSE_MAKE off looks at the setting again.
    static constexpr std::chrono::milliseconds kLookAgain{30000};

    // Tells `services.pages` how the videos are named.
    explicit DayTimelapse(DayTimelapseServices services);

    std::string Name() const override { return "timelapse"; }
    // Removes the temporary files of videos that a kill cut off.
    void Begin(const StopSignal& stop) override;
    void Handle(const DiaryEvent& event, const StopSignal& stop) override;
    std::optional<std::chrono::milliseconds> NextWake() override;
    void Wake(const StopSignal& stop) override;

private:
    // The newest day that wants work gets it; false when none is left.
    bool WorkOnNextDay(const DiarySettings& settings, const StopSignal& stop);
    void MakeVideo(const DiarySettings& settings, const std::string& save_directory,
                   const std::string& day_name, const std::vector<std::string>& pictures,
                   const StopSignal& stop);
    void RewritePage(const DiarySettings& settings, const std::string& save_directory,
                     const std::string& day_name, const std::string& video_path);

    DayTimelapseServices services_;
    bool looking_ = true;
    bool was_making_ = false;
    std::string looked_in_;
    // Day folders ("save folder/day") dealt with in this run, made or not.
    std::set<std::string> settled_;
};

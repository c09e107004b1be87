#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "events/diary_events.h"
#include "events/diary_job_context.h"
#include "log/log_text.h"

struct DiarySettings;

// The timelapse of every finished day: with TIMELAPSE MAKE on, each past day
// folder that has pictures and no video gets "YYYYMMDD.webm" (see
// MakeDayVideo), newest day first, one day per wake so that the diary's
// events are taken in between; then the day's page is rewritten to link it
// and DayVideoMade is published. Looks at the past days at start, when a day
// begins (the one before is over), when the save folder changes and when
// TIMELAPSE MAKE is switched on. Today and days after it are never made.
// A video being made gives way to a store under way (the two share the
// processor at the same priority, and a store is what must not be late).
class DayTimelapse final : public DiarySubscriber {
public:
    // How often a diary with TIMELAPSE MAKE off looks at the setting again.
    static constexpr std::chrono::milliseconds kLookAgain{30000};

    // Tells the page writers how the videos are linked (DayVideoToLink).
    explicit DayTimelapse(DiaryJobContext context);

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
    // A day folder in which no picture decoded, unchanged since: neither
    // tried nor said again, also after a restart.
    bool KnownUnreadable(const std::string& day_directory);
    void RememberUnreadable(const std::string& day_directory);

    DiaryJobContext context_;
    bool looking_ = true;
    bool was_making_ = false;
    std::string looked_in_;
    // Day folders ("save folder/day") dealt with in this run, made or not.
    std::set<std::string> settled_;
    // Day folders ("save folder/day/") without a readable picture, with
    // their modification times then.
    std::map<std::string, std::string> unreadable_;
    bool unreadable_read_ = false;
};

// The video a day page links: with TIMELAPSE MAKE on, the day's video name
// (the page writers link it when the file is there); else none.
std::string DayVideoToLink(const std::string& day_name, const DiarySettings& settings);

// Registers [TIMELAPSE] and subscribes the job.
void RegisterTimelapse(const DiaryJobContext& context);

#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <variant>
#include <vector>

// What the diary did, as plain values that subscribers receive on their own
// threads. Paths are absolute or as SAVE_DIRECTORY gives them; directories
// end in "/".

// kRequest: asked for from outside (the smart home's button), at once.
enum class PictureTrigger { kInterval, kMotion, kTime, kRequest };

// "interval", "motion", "time" or "request", as commands see it in
// QUILLOMAT_TRIGGER.
const char* TriggerName(PictureTrigger trigger);

// A diary picture was written and its pages were rewritten.
struct PictureStored {
    std::string path;            // save directory + day + "/" + file
    std::string save_directory;  // ends in "/"
    std::string day_name;        // "YYYYMMDD"
    std::string file_name;
    std::tm capture_time{};  // local time, as named; tm_gmtoff holds its offset
    PictureTrigger trigger = PictureTrigger::kInterval;
    int width = 0;
    int height = 0;
    // The pages this store rewrote (day page, index page), in writing order.
    std::vector<std::string> pages;
};

// A store failed and said so: its notice code (256 when the day folder could
// not be made, else 257).
struct StoreFailed {
    int notice_code = 0;
};

// The first picture of a day made its folder.
struct DayBegun {
    std::string save_directory;
    std::string day_name;
};

// About to store: lets the jobs that keep the disk from filling look first.
struct StoreComing {
    std::string save_directory;
};

// The chosen camera went away; `replacement` names the one taken instead, or
// is empty while none is.
struct CameraGone {
    std::string camera;
    std::string replacement;
};

struct CameraBack {
    std::string camera;
};

// A past day's folder was emptied of the program's own files (retention);
// `files` names what was removed, relative to the save directory.
struct DayDeleted {
    std::string save_directory;
    std::string day_name;
    std::vector<std::string> files;
};

// A finished day's video was made and its day page rewritten to link it.
struct DayVideoMade {
    std::string save_directory;
    std::string day_name;
    std::string path;
    std::vector<std::string> pages;
};

// A picture was not stored because the frame was darker than
// SKIP_DARK_BELOW; `brightness` is its mean luma.
struct PictureSkipped {
    PictureTrigger trigger = PictureTrigger::kInterval;
    int brightness = 0;
    int threshold = 0;
};

// The recording hours hold the diary off until `until` (local time), or for
// good when `has_until` is false.
struct RecordingPaused {
    std::tm until{};
    bool has_until = false;
};

struct RecordingResumed {};

// The diary's on-air flag (ONAIR, the window's ON/OFF button) was switched.
struct OnAirSwitched {
    bool on = false;
};

using DiaryEvent = std::variant<PictureStored, StoreFailed, DayBegun, StoreComing, CameraGone,
                                CameraBack, DayDeleted, DayVideoMade, PictureSkipped,
                                RecordingPaused, RecordingResumed, OnAirSwitched>;

// When a pause ends, as people read it: "07:00" the same day, else
// "12/24 07:00".
std::string PauseEndText(const std::tm& until, const std::tm& now);

// The log line of a camera event (the lines standard error used to show).
std::string CameraEventLine(const CameraGone& gone);
std::string CameraEventLine(const CameraBack& back);

// Receives the diary's events; Publish is callable from any thread, never
// blocks and never waits for a subscriber.
class EventPublisher {
public:
    virtual ~EventPublisher() = default;
    virtual void Publish(DiaryEvent event) = 0;
};

class NoEventPublisher final : public EventPublisher {
public:
    void Publish(DiaryEvent) override {}
};

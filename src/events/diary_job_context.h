#pragma once

#include <functional>
#include <string>

#include "platform/log_text.h"

class Clock;
class DiaryEvents;
class EventPublisher;
class SharedSettings;
struct DiarySettings;

// How a day page links its day's video: the file's name in the day folder,
// or empty for no link.
using DayVideoLink =
    std::function<std::string(const std::string& day_name, const DiarySettings& settings)>;

// What a job after a picture is given by the one composition (the window and
// --headless alike), and all it may reach of the diary. Each job's
// registration function takes it, registers the job's settings section and
// subscribes the job to `events`. Tests fill it with their own fakes.
struct DiaryJobContext {
    SharedSettings& settings;
    // Where the job subscribes, and whether a store is under way.
    DiaryEvents& events;
    // Where the job's own events go (`events` in the program).
    EventPublisher& publish;
    Clock& clock;
    // Adds a line to the activity log (any thread).
    std::function<void(const LogText&)> post_line;

    // The page writers' hooks, callable from the job's thread:
    // the next store builds the pages from the folders (days went);
    std::function<void()> mark_pages_changed = [] {};
    // a past day's page rewritten from its folder; its path when written;
    std::function<std::string(const std::string& save_directory, const std::string& day_name,
                              const DiarySettings& settings)>
        rewrite_past_day_page = [](const std::string&, const std::string&, const DiarySettings&) {
            return std::string();
        };
    // how day pages link the day's video (at registration, before the worker
    // runs).
    std::function<void(DayVideoLink)> link_day_videos = [](DayVideoLink) {};

    // What a job may ask of the diary itself, from any thread:
    // the on-air flag switched as the window's button switches it (saved at
    // once, OnAirSwitched published);
    std::function<void(bool on)> set_on_air = [](bool) {};
    // a diary picture stored as soon as the worker can (PictureTrigger::kRequest),
    // whether on the air or not.
    std::function<void()> store_now = [] {};

    // The settings folder ("/" at the end), where a job keeps what it must
    // remember across starts; empty: nothing is kept beyond the run.
    std::string settings_directory = {};
};

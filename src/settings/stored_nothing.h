#pragma once

#include <string>
#include <vector>

struct DiarySettings;

// Why these settings never store a picture by themselves (empty save folder,
// recording off, or no interval, also one of negative parts, and no motion
// detection), as one message for the person who edits setup.ini; empty when
// they do store. Pictures at set times (`set_times`, of the recording
// hours) are stored without an interval or motion detection.
std::string WhyNothingIsStored(const DiarySettings& settings, bool set_times = false);

// What the person who edits setup.ini should hear once at start, one line
// each: a settings file that is not CP932, WhyNothingIsStored, an interval
// that never comes beside motion detection, a save folder that is missing or
// cannot be written to, and a page name that is refused. Reads the settings
// files and looks at the save folder; empty when all is well.
std::vector<std::string> StartupRemarks(const DiarySettings& settings, bool set_times = false);

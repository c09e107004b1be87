#pragma once

#include <string>

struct DiarySettings;

// Why these settings never store a picture by themselves (empty save folder,
// recording off, or no interval and no motion detection), as one message for
// the person who edits setup.ini; empty when they do store.
std::string WhyNothingIsStored(const DiarySettings& settings);

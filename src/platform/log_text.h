#pragma once

#include <string>
#include <utility>

// A log message twice: as "log.txt" keeps it, the designed text in every
// language (other programs read that file), and as the log box and the
// headless output show it, in the interface's language. A plain string
// reads the same in both. A plain value, so that what only passes lines on
// needs no Qt; TranslatedLogText (log/log_text.h) makes one from a
// translatable text.
struct LogText {
    LogText(std::string text) : designed(text), shown(std::move(text)) {}  // NOLINT: implicit
    LogText(const char* text) : LogText(std::string(text)) {}              // NOLINT: implicit
    LogText(std::string designed_text, std::string shown_text)
        : designed(std::move(designed_text)), shown(std::move(shown_text)) {}

    std::string designed;
    std::string shown;
};

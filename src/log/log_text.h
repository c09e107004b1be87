#pragma once

#include <string>
#include <vector>

// A log message twice: as "log.txt" keeps it, the designed text in every
// language (other programs read that file), and as the log box and the
// headless output show it, in the interface's language. A plain string
// reads the same in both.
struct LogText {
    LogText(std::string text) : designed(text), shown(std::move(text)) {}  // NOLINT: implicit
    LogText(const char* text) : LogText(std::string(text)) {}              // NOLINT: implicit
    LogText(std::string designed_text, std::string shown_text)
        : designed(std::move(designed_text)), shown(std::move(shown_text)) {}

    std::string designed;
    std::string shown;
};

// `source`, a designed text marked for lupdate with QT_TRANSLATE_NOOP in
// `context`, with %1, %2, ... replaced by `arguments` (in one pass, so that
// an argument's own "%2" stays as it is): as designed, and as the installed
// translators give it.
LogText TranslatedLogText(const char* context, const char* source,
                          const std::vector<std::string>& arguments = {});

// The same in the interface's language only (a prompt's text).
std::string TranslatedText(const char* context, const char* source,
                           const std::vector<std::string>& arguments = {});

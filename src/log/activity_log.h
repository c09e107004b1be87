#pragma once

#include <functional>
#include <string>

#include "log/log_text.h"

class Clock;
class SharedSettings;

// The fixed log text of a notice code (as designed; the box shows its
// translation); empty for a code without one.
std::string DiaryNoticeText(int code);

// The log box content, with its line rules, and the appending of "log.txt".
// User interface thread only: the worker reaches it through posted notices.
// The text is UTF-8 in the interface's language; "log.txt" keeps the
// designed texts, in CP932 with CR LF line ends.
class ActivityLog {
public:
    static constexpr int kMaxLines = 1000;

    struct Change {
        const std::string& text;   // the whole log text after the change
        const std::string& added;  // the lines this event added, each ending in "\r\n"
        int line_count;  // lines of the text as an edit control counts them; scroll by this
    };
    using Listener = std::function<void(const Change&)>;

    // `app_directory` gives the folder of "log.txt", ending in "/"; LOGFILE is
    // read from `settings` for every line.
    ActivityLog(Clock& clock, const SharedSettings& settings,
                std::function<std::string()> app_directory = nullptr);

    // Adds a stamped line to the text (the shown message) and, when LOGFILE
    // is on, to "log.txt" (the designed one).
    void AddLogLine(const LogText& message);

    // The handler of a posted notice: its text as a log line. Returns 0.
    int OnDiaryNotify(int code);

    const std::string& Text() const { return text_; }
    // What the last AddLogLine added (its line, and the file error line if any).
    const std::string& LastAdded() const { return last_added_; }
    int LineCount() const;

    // Called after every AddLogLine; the view copies the text and scrolls.
    void SetListener(Listener listener) { listener_ = std::move(listener); }

private:
    void AppendLogFile(const std::string& designed_message);

    Clock& clock_;
    const SharedSettings& settings_;
    std::function<std::string()> app_directory_;
    Listener listener_;
    std::string text_;
    std::string last_added_;
};

// Edit-control line count of a CR LF text: the line breaks plus one (the
// empty line after a final break counts).
int CountLogLines(const std::string& text);

#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "capture/frame_format.h"

class Clock;
class FrameSource;
struct GraphState;
class Prompts;
class SharedSettings;
class StopSignal;

// What the user sees of a snapshot. The main window shows the snapshot
// dialog; tests answer without a window.
class SnapshotView {
public:
    virtual ~SnapshotView() = default;
    // Shows the picture in `bitmap_path` ("snap.tmp") and offers `stem` +
    // ".jpg" for saving. Returns the path the user chose, empty when the
    // picture is discarded.
    virtual std::string ChooseSnapshotPath(const std::string& bitmap_path,
                                           const std::string& stem) = 0;
};

struct SnapshotContext {
    FrameSource& source;
    GraphState& graph;
    Clock& clock;
    // Ends the grab early (the program is closing): then nothing is shown.
    const StopSignal& stop;
    const SharedSettings& settings;
    Prompts& prompts;
    SnapshotView& view;
    // Home of "snap.tmp" and the temporary JPEG; ends in "/".
    std::string app_directory;
};

enum class SnapshotResult {
    kNotReady,   // the graph was not ready: nothing happened
    kNoFrame,    // no frame (no memory, stopped, or the camera sent nothing new)
    kDiscarded,  // the user discarded the picture
    kSaved,      // the JPEG is at the chosen path
    kNotSaved,   // saving failed; the user was told (and where the picture is)
};

// The manual snapshot: capture time, fresh frame under the graph lock, time
// text, "snap.tmp" and the temporary JPEG, the view, then the move to the
// chosen path. Runs on the user interface thread and holds the graph lock
// only while the frame is taken. Every temporary file is gone afterwards,
// except a picture the chosen path could not take: that one is kept in the
// application folder (KeepUnsavedSnapshot) and the message says where.
SnapshotResult TakeSnapshot(const SnapshotContext& context);

// A picture that could not be saved, under a name of its own in
// `app_directory`: kUnsavedSnapshotPrefix + `stem` + ".jpg", or with "-2",
// "-3", ... before ".jpg" when that is taken (no file is ever replaced). The
// path where the picture is now; `jpeg_path` itself when it could not be
// renamed.
inline constexpr const char* kUnsavedSnapshotPrefix = "snapshot-";
std::string KeepUnsavedSnapshot(const std::string& jpeg_path, const std::string& app_directory,
                                const std::string& stem);

// "YYYYMMDDhhmmss" of a capture time.
std::string SnapshotStem(const std::tm& capture_time);

// "snap.tmp"'s first 54 bytes for a frame of `frame_size` bytes: the file
// header ("BM", 54 + frame_size, 0, 0, 54) and the connected format's
// 40-byte bitmap header.
std::string BitmapFileHeaders(const FrameFormat& format, std::size_t frame_size);

// Moves `from` over `to`. Across file systems it copies into a temporary
// file beside `to`, renames that over `to` and removes `from`. On failure
// `to` is as it was, no copy is left, and `error` says why.
bool MoveFileReplacing(const std::string& from, const std::string& to, std::string& error);

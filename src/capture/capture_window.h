#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// One frame for the preview: BGR, top row first. It stays valid while the
// caller holds it, independent of the graph.
struct PreviewFrame {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    std::uint64_t sequence = 0;

    virtual ~PreviewFrame() = default;
};

// Pulled by the preview widget at its display rate; costs nothing while
// nobody pulls.
class PreviewSource {
public:
    virtual ~PreviewSource() = default;
    // The newest frame when it is newer than `after_sequence`, else nullptr.
    virtual std::shared_ptr<const PreviewFrame> TakePreviewFrame(std::uint64_t after_sequence) = 0;
    // The same, scaled to `width` x `height` on the way: a view that shows
    // the picture smaller then converts and draws only what it shows.
    virtual std::shared_ptr<const PreviewFrame> TakeScaledPreviewFrame(std::uint64_t after_sequence,
                                                                       int width, int height) = 0;
};

// The main window as the capture graph reaches it. Calls come from any
// thread, also from a recovery build on the worker thread that holds the
// graph lock: implementations only queue and never wait for the user
// interface thread.
class CaptureWindow {
public:
    virtual ~CaptureWindow() = default;
    virtual void PostTitle(const std::string& title) = 0;
    // nullptr hides the preview (on release).
    virtual void PostPreviewSource(std::shared_ptr<PreviewSource> source) = 0;
};

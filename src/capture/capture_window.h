#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// One frame for the preview: BGR, top row first. It stays valid while the
// caller holds it, independent of the graph.
struct PreviewFrame {
    // kBgr24: blue, green, red. kBgra32: blue, green, red, 255 (Qt's RGB32
    // on a little-endian machine, which it draws by copying).
    enum class Layout { kBgr24, kBgra32 };

    const std::uint8_t* pixels = nullptr;
    Layout layout = Layout::kBgr24;
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
    // The same, scaled to `width` x `height` on the way and in the kBgra32
    // layout: a view then converts only what it shows and paints by copying.
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

#include "diary/snapshot.h"

#include <fcntl.h>
#include <unistd.h>

#include <QtGlobal>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "capture/frame_grab.h"
#include "diary/drawing_surface.h"
#include "diary/jpeg_writer.h"
#include "diary/time_text.h"
#include "log/log_text.h"
#include "platform/atomic_file.h"
#include "platform/clock.h"
#include "platform/prompts.h"
#include "settings/shared_settings.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kBitmapFileName = "snap.tmp";
constexpr std::size_t kHeadersBytes = 54;

void PutLe(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Removes one of our temporary files; a missing one is no error, and a
// folder of that name is not ours to remove.
void RemoveTemporary(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(path, ec))) return;
    fs::remove(path, ec);
}

// Gives `from` the name `to` unless `to` is taken; false with errno set.
bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag: a hard link fails on a taken name too.
    if (link(from.c_str(), to.c_str()) != 0) return false;
    unlink(from.c_str());
    return true;
}

// Through a temporary file of its own: a link planted at "snap.tmp" is
// replaced, never written through.
void WriteBitmapFile(const std::string& path, const FrameFormat& format, const std::uint8_t* pixels,
                     std::size_t frame_size) {
    AtomicFile out(path);
    if (out.Stream() == nullptr) return;
    const std::string headers = BitmapFileHeaders(format, frame_size);
    if (std::fwrite(headers.data(), 1, headers.size(), out.Stream()) != headers.size() ||
        std::fwrite(pixels, 1, frame_size, out.Stream()) != frame_size) {
        return;
    }
    out.Commit();
}

bool CopyInto(std::FILE* to, const std::string& from) {
    std::ifstream in(from, std::ios::binary);
    if (!in) return false;
    char buffer[65536];
    while (in) {
        in.read(buffer, sizeof buffer);
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got > 0 && std::fwrite(buffer, 1, got, to) != got) return false;
    }
    return in.eof();
}

}  // namespace

std::string KeepUnsavedSnapshot(const std::string& jpeg_path, const std::string& app_directory,
                                const std::string& stem) {
    constexpr int kMaxTries = 1000;
    for (int n = 1; n <= kMaxTries; ++n) {
        const std::string kept = app_directory + kUnsavedSnapshotPrefix + stem +
                                 (n == 1 ? "" : "-" + std::to_string(n)) + ".jpg";
        if (RenameNoReplace(jpeg_path, kept)) return kept;
        if (errno != EEXIST) break;
    }
    return jpeg_path;
}

std::string SnapshotStem(const std::tm& t) {
    char stem[32];
    std::snprintf(stem, sizeof stem, "%04d%02d%02d%02d%02d%02d", (t.tm_year + 1900) % 100000,
                  (t.tm_mon + 1) % 100, t.tm_mday % 100, t.tm_hour % 100, t.tm_min % 100,
                  t.tm_sec % 100);
    return stem;
}

std::string BitmapFileHeaders(const FrameFormat& format, std::size_t frame_size) {
    std::string out;
    out.reserve(kHeadersBytes);
    out += "BM";
    PutLe(out, static_cast<std::uint32_t>(kHeadersBytes + frame_size), 4);
    PutLe(out, 0, 2);
    PutLe(out, 0, 2);
    PutLe(out, kHeadersBytes, 4);
    // The connected format's header: 24-bit, uncompressed, bottom-up.
    PutLe(out, 40, 4);
    PutLe(out, static_cast<std::uint32_t>(format.width), 4);
    PutLe(out, static_cast<std::uint32_t>(format.height), 4);
    PutLe(out, 1, 2);
    PutLe(out, 24, 2);
    PutLe(out, 0, 4);
    PutLe(out, static_cast<std::uint32_t>(format.SizeBytes()), 4);
    PutLe(out, 0, 4);
    PutLe(out, 0, 4);
    PutLe(out, 0, 4);
    PutLe(out, 0, 4);
    return out;
}

bool MoveFileReplacing(const std::string& from, const std::string& to, std::string& error) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (!ec) return true;
    if (ec != std::errc::cross_device_link) {
        error = ec.message();
        return false;
    }
    // Another file system: the copy appears under `to` only when complete.
    AtomicFile copy(to);
    errno = 0;
    if (copy.Stream() == nullptr || !CopyInto(copy.Stream(), from) || !copy.Commit()) {
        error = std::error_code(errno != 0 ? errno : EIO, std::generic_category()).message();
        return false;
    }
    fs::remove(from, ec);
    return true;
}

SnapshotResult TakeSnapshot(const SnapshotContext& context) {
    if (!context.graph.ready.load()) return SnapshotResult::kNotReady;
    const DiarySettings settings = context.settings.Copy();
    const std::tm capture_time = context.clock.LocalNow();

    std::optional<DrawingSurface> surface;
    const GrabContext grab_context{context.source,
                                   context.graph,
                                   context.clock,
                                   context.stop,
                                   {},
                                   static_cast<std::uint32_t>(std::max(0, settings.SETTLE_MAX_MS))};
    const GrabResult grab =
        GrabFreshFrame(grab_context, GrabCaller::kSnapshot, [&](std::size_t frame_size) {
            surface = DrawingSurface::Create(context.source.ConnectedFormat(), frame_size);
            return surface ? surface->Pixels() : nullptr;
        });
    switch (grab.outcome) {
        case GrabOutcome::kNotLocked:
        case GrabOutcome::kNoDestination:
        case GrabOutcome::kStopped:
            return SnapshotResult::kNoFrame;
        case GrabOutcome::kGaveUp:
            // Every recovery passed without a new frame: an old or black
            // picture would pass for a snapshot of now.
            context.prompts.ShowMessage(TranslatedText(
                "TakeSnapshot", QT_TRANSLATE_NOOP("TakeSnapshot",
                                                  "カメラから新しい画像を取得できなかったため、"
                                                  "スナップショットを撮れませんでした。")));
            return SnapshotResult::kNoFrame;
        case GrabOutcome::kFresh:
            break;
    }

    if (settings.SHOW_TEXT) DrawTimeText(*surface, capture_time, settings);

    const std::string bitmap_path = context.app_directory + kBitmapFileName;
    WriteBitmapFile(bitmap_path, surface->Format(), surface->Pixels(), grab.frame_size);
    const std::string stem = SnapshotStem(capture_time);
    const std::string jpeg_path = context.app_directory + stem + ".jpg";
    // WriteJpegFile leaves nothing behind when it fails; the save below
    // finds no file then and says so.
    WriteJpegFile(jpeg_path, surface->Format(), surface->Pixels(), settings.JPEG_QUALITY);
    surface.reset();

    // The graph lock is free again: the worker stores while the view is open.
    const std::string chosen = context.view.ChooseSnapshotPath(bitmap_path, stem);

    RemoveTemporary(bitmap_path);
    if (chosen.empty()) {
        RemoveTemporary(jpeg_path);
        return SnapshotResult::kDiscarded;
    }
    std::error_code ec;
    if (!fs::is_regular_file(jpeg_path, ec)) {
        context.prompts.ShowMessage(TranslatedText(
            "TakeSnapshot",
            QT_TRANSLATE_NOOP("TakeSnapshot",
                              "スナップショットのJPEGファイルを作成できなかったため、"
                              "保存できませんでした。\n%1"),
            {chosen}));
        return SnapshotResult::kNotSaved;
    }
    if (chosen == jpeg_path) return SnapshotResult::kSaved;
    std::string error;
    if (!MoveFileReplacing(jpeg_path, chosen, error)) {
        // The picture cannot be taken again: it stays in the settings folder.
        const std::string kept = KeepUnsavedSnapshot(jpeg_path, context.app_directory, stem);
        context.prompts.ShowMessage(
            TranslatedText("TakeSnapshot",
                           QT_TRANSLATE_NOOP("TakeSnapshot",
                                             "スナップショットを保存できませんでした。\n%1\n%2\n\n"
                                             "画像は次の場所に残してあります。\n%3"),
                           {chosen, error, kept}));
        return SnapshotResult::kNotSaved;
    }
    return SnapshotResult::kSaved;
}

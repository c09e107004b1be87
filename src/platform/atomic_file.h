#pragma once

#include <cstdio>
#include <filesystem>
#include <string_view>

// Replaces a file so that a reader, a crash or a power cut finds either the
// old file whole or the new one whole: the bytes go to a temporary file in the
// same folder, which is flushed to the disk before it is renamed over the old
// file; the folder's entry is flushed after the rename. Until Commit succeeds
// the old file is untouched; a writer abandoned without Commit (or a failed
// Commit) removes its temporary file.
class AtomicFile {
public:
    explicit AtomicFile(std::filesystem::path path);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // The temporary file, open for binary writing; nullptr when it could not
    // be created.
    std::FILE* Stream() const { return stream_; }

    // Flushes, renames into place and flushes the folder; false when any step
    // before the rename failed (the old file then stays as it was).
    bool Commit();

private:
    void Abandon();

    std::filesystem::path path_;
    std::filesystem::path temp_;
    std::FILE* stream_ = nullptr;
};

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// The temporary file the writers use for `path`: `path` + kTemporarySuffix.
inline constexpr std::string_view kTemporarySuffix = ".tmp";
std::filesystem::path TemporaryPathFor(const std::filesystem::path& path);

// The flushes to the disk are on by default; off only to measure what they
// cost. Any thread.
void SetDiskFlushes(bool on);

#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string_view>

// Replaces a file so that a reader, a crash or a power cut finds either the
// old file whole or the new one whole: the bytes go to a temporary file in the
// same folder, which is flushed to the disk before it is renamed over the old
// file; the folder's entry is flushed after the rename. Until Commit succeeds
// the old file is untouched; a writer abandoned without Commit (or a failed
// Commit) removes its temporary file.
//
// The temporary file is made new, exclusively and under a name of its own
// (TemporaryNameFor), never through a link: whoever can write into the folder
// cannot make the write land in another file by planting a link or a file
// at the name beforehand.
class AtomicFile {
public:
    explicit AtomicFile(std::filesystem::path path);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // The temporary file, open for binary writing; nullptr when it could not
    // be created.
    std::FILE* Stream() const { return stream_; }
    const std::filesystem::path& TemporaryPath() const { return temp_; }

    // Flushes, renames into place and flushes the folder; false when any step
    // before the rename failed (the old file then stays as it was).
    bool Commit();

    // Like Commit, but never replaces anything: the file goes to the first of
    // name_for(0), name_for(1), ... (paths in the same folder, an empty path
    // ends the list) that no entry holds, checked and taken in one step, so a
    // writer elsewhere taking the same name at the same moment cannot be
    // overwritten either. Returns the path used; empty when every name was
    // taken or a step failed (the temporary file is then removed).
    std::filesystem::path CommitNew(const std::function<std::filesystem::path(int)>& name_for);

private:
    bool Finish();
    void Abandon();

    std::filesystem::path path_;
    std::filesystem::path temp_;
    std::FILE* stream_ = nullptr;
};

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// The temporary files of the writers: "<name>.<6 letters or digits>.tmp"
// beside the file <name> they become, for example
// "preview.html.Xq3Tb9.tmp". The letters are drawn anew for every file.
inline constexpr std::string_view kTemporarySuffix = ".tmp";
inline constexpr std::size_t kTemporaryTagLength = 6;

// True for a name that a writer of `name` leaves when it is cut off between
// its start and its rename: the form above, and "<name>.tmp", which earlier
// versions used.
bool IsTemporaryNameFor(std::string_view candidate, std::string_view name);
// The `name` whose temporary file `candidate` is; empty when it is none.
std::string_view TemporaryTarget(std::string_view candidate);

// Removes `path` when it is a regular file. Never follows a link: a link
// (or a folder) at the name is left where it is.
void RemoveRegularFile(const std::filesystem::path& path);

// The flushes to the disk are on by default; off only to measure what they
// cost. Any thread.
void SetDiskFlushes(bool on);

#pragma once

#include <string>

#include "publish/local_listing.h"

// A page goes from a copy of its own, made once: the links looked at and the
// bytes sent are the same even if the diary rewrites the page meanwhile.

// The whole of a regular file (never through a link) of at most `most`
// bytes, with its size and time; false when it is none or larger.
bool ReadWholeFile(const std::string& path, std::size_t most, std::string& content, Stamp& stamp);

// A folder of ours under $TMPDIR for such copies, made at its first use
// (also sweeping those that killed runs left) and removed with the object.
class ScratchFolder {
public:
    ScratchFolder() = default;
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder (ends in "/"), or empty with the reason.
    std::string Path(std::string& why);
    // `content` as `name` in the folder, with the time of `stamp`; false
    // with the reason.
    bool Write(const std::string& name, const std::string& content, const Stamp& stamp,
               std::string& why);

private:
    std::string path_;
};

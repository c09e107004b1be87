#pragma once

#include <filesystem>
#include <string_view>

// Replaces `path` with `bytes` so that a reader (or a crash) sees either the
// old file whole or the new one whole: the bytes go to a temporary file in
// the same folder, which is renamed over the old file once it is complete.
// On any failure the temporary file is removed, the old file is left as it
// was and false is returned.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// The name of the temporary file WriteFileAtomically uses for `path`.
std::filesystem::path TemporaryPathFor(const std::filesystem::path& path);

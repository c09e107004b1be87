#include "diary/leftover_files.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/atomic_file.h"
#include "settings/diary_settings.h"

namespace {

namespace fs = std::filesystem;

bool AllDigits(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "YYYYMMDD", as the store names day folders.
bool IsDayFolderName(const std::string& name) { return name.size() == 8 && AllDigits(name); }

// "YYYYMMDDhhmmss.jpg.tmp".
bool IsPictureTemporaryName(const std::string& name) {
    const std::string tail = ".jpg" + std::string(kTemporarySuffix);
    return name.size() == 14 + tail.size() && AllDigits(std::string_view(name).substr(0, 14)) &&
           name.compare(14, std::string::npos, tail) == 0;
}

void RemoveIfRegularFile(const fs::path& path) {
    std::error_code ec;
    if (fs::symlink_status(path, ec).type() == fs::file_type::regular) fs::remove(path, ec);
}

// The temporary file of a page named `page_name` inside `folder`, when that
// name stays inside the folder.
void RemovePageTemporary(const fs::path& folder, const std::string& page_name) {
    if (page_name.empty()) return;
    const fs::path relative = fs::path(page_name).lexically_normal();
    if (relative.is_absolute() || relative.empty() || *relative.begin() == "..") return;
    RemoveIfRegularFile(TemporaryPathFor(folder / relative));
}

}  // namespace

void RemoveLeftoverTemporaryFiles(const DiarySettings& settings) {
    if (settings.SAVE_DIRECTORY.empty()) return;
    const fs::path save(settings.SAVE_DIRECTORY);
    RemovePageTemporary(save, settings.INDEX_HTML);
    std::error_code ec;
    fs::directory_iterator days(save, ec);
    if (ec) return;
    for (; days != fs::directory_iterator(); days.increment(ec)) {
        std::error_code type_ec;
        if (!days->is_directory(type_ec) || !IsDayFolderName(days->path().filename().string()))
            continue;
        const fs::path day = days->path();
        RemovePageTemporary(day, settings.PREVIEW_HTML);
        std::error_code list_ec;
        fs::directory_iterator files(day, list_ec);
        if (list_ec) continue;
        for (; files != fs::directory_iterator(); files.increment(list_ec)) {
            if (IsPictureTemporaryName(files->path().filename().string()))
                RemoveIfRegularFile(files->path());
        }
    }
}

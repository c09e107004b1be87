#include "diary/leftover_files.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "diary/picture_names.h"
#include "platform/atomic_file.h"
#include "settings/diary_settings.h"

namespace {

namespace fs = std::filesystem;

// Calls `visit` with the name of every entry of `folder` that is no folder.
template <class Visit>
void ForEachFileName(const fs::path& folder, Visit visit) {
    std::error_code ec;
    fs::directory_iterator files(folder, ec);
    if (ec) return;
    for (; files != fs::directory_iterator(); files.increment(ec)) {
        std::error_code type_ec;
        if (files->is_directory(type_ec)) continue;
        visit(files->path().filename().string());
    }
}

}  // namespace

void RemoveLeftoverTemporaryFiles(const DiarySettings& settings) {
    const std::string save_folder = SaveFolderPath(settings);
    if (save_folder.empty()) return;
    const fs::path save(save_folder);
    const std::string index_page = PageFileName(settings.INDEX_HTML);
    const std::string day_page = PageFileName(settings.PREVIEW_HTML);
    ForEachFileName(save, [&](const std::string& name) {
        if (IsPageTemporaryName(name, index_page)) RemoveRegularFile(save / name);
    });
    std::error_code ec;
    fs::directory_iterator days(save, ec);
    if (ec) return;
    for (; days != fs::directory_iterator(); days.increment(ec)) {
        std::error_code type_ec;
        const std::string day_name = days->path().filename().string();
        // A link named like a day leads out of the save folder: not ours.
        if (days->is_symlink(type_ec) || !days->is_directory(type_ec) ||
            !IsDayDirectoryName(day_name)) {
            continue;
        }
        const fs::path day = days->path();
        ForEachFileName(day, [&](const std::string& name) {
            if (IsPictureTemporaryName(name, day_name) || IsPageTemporaryName(name, day_page))
                RemoveRegularFile(day / name);
        });
    }
}

void RemoveSettingsFolderLeftovers(const std::string& settings_folder) {
    if (settings_folder.empty()) return;
    const fs::path folder(settings_folder);
    ForEachFileName(folder, [&](const std::string& name) {
        const bool ours = IsTemporaryNameFor(name, "setup.ini") ||
                          IsTemporaryNameFor(name, "device.ini") ||
                          IsTemporaryNameFor(name, "snap.tmp") || name == "snap.tmp" ||
                          IsPictureTemporaryName(name);
        if (ours) RemoveRegularFile(folder / name);
    });
}

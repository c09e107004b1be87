#include "diary/leftover_files.h"

#include <string>

#include "diary/layout/day_folders.h"
#include "diary/layout/diary_layout.h"
#include "diary/layout/diary_names.h"
#include "platform/atomic_file.h"

void RemoveLeftoverTemporaryFiles(const DiarySettings& settings) {
    const DiaryLayout layout = DiaryLayout::Of(settings);
    if (layout.save_folder.empty()) return;
    const OpenFolder save = OpenFolder::Open(layout.save_folder);
    if (!save.IsOpen()) return;
    for (const OpenFolder::Entry& entry : save.Entries()) {
        if (IsPageTemporaryName(entry.name, layout.index_page)) save.RemoveRegularFile(entry.name);
    }
    for (const std::string& day : ListDayFolders(save)) {
        const OpenFolder folder = OpenFolder::OpenInside(save, day);
        for (const OpenFolder::Entry& entry : folder.Entries()) {
            if (IsPictureTemporaryName(entry.name, day) ||
                IsPageTemporaryName(entry.name, layout.day_page)) {
                folder.RemoveRegularFile(entry.name);
            }
        }
    }
}

void RemoveSettingsFolderLeftovers(const std::string& settings_folder) {
    if (settings_folder.empty()) return;
    const OpenFolder folder = OpenFolder::Open(settings_folder);
    for (const OpenFolder::Entry& entry : folder.Entries()) {
        const std::string& name = entry.name;
        const bool ours = IsTemporaryNameFor(name, "setup.ini") ||
                          IsTemporaryNameFor(name, "device.ini") ||
                          IsTemporaryNameFor(name, "snap.tmp") || name == "snap.tmp" ||
                          IsPictureTemporaryName(name);
        if (ours) folder.RemoveRegularFile(name);
    }
}

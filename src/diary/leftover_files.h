#pragma once

#include <string>

struct DiarySettings;

// Removes the temporary files that a write cut off between its start and its
// rename left in the save tree: those of pictures in the day folders, of the
// day page in the day folders and of the index page in the save folder
// (diary/layout/diary_names.h). Nothing else is touched, not even another ".tmp" file,
// and only regular files: a link at such a name stays.
void RemoveLeftoverTemporaryFiles(const DiarySettings& settings);

// The same in the settings folder: the settings files' temporary files and
// the snapshot's ("snap.tmp" and its JPEG's). Only one copy of the program
// may run on a settings folder, so none of these is still being written.
void RemoveSettingsFolderLeftovers(const std::string& settings_folder);

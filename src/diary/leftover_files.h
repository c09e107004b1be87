#pragma once

struct DiarySettings;

// Removes the temporary files that a write cut off between its start and its
// rename left in the save tree: "<picture>.jpg.tmp" (picture names only) and
// the day page's temporary file in the day folders, the index page's in the
// save folder. Nothing else is touched, not even another ".tmp" file.
void RemoveLeftoverTemporaryFiles(const DiarySettings& settings);

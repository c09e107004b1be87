#include "diary/layout/diary_layout.h"

#include "settings/diary_settings.h"

DiaryLayout DiaryLayout::Of(const DiarySettings& settings) {
    DiaryLayout layout;
    layout.save_folder = SaveFolderPath(settings);
    if (!layout.save_folder.empty() && layout.save_folder.back() != '/') layout.save_folder += '/';
    layout.day_page = PageFileName(settings.PREVIEW_HTML);
    layout.index_page = PageFileName(settings.INDEX_HTML);
    return layout;
}

std::string DiaryLayout::DayFolder(std::string_view day) const {
    std::string folder = save_folder;
    folder += day;
    folder += '/';
    return folder;
}

#include "settings/diary_settings.h"

std::string DiarySettings::DefaultBottomCode() {
    return std::string("<center><small><a href=\"") + kHomePageUrl +
           "\" target=\"_blank\">Corvanet</a></small></center>";
}

std::string SaveFolderPath(const DiarySettings& settings) {
    const std::string& value = settings.SAVE_DIRECTORY;
    if (value.empty() || value.front() == '/' || settings.settings_folder.empty()) return value;
    return settings.settings_folder + value;
}

bool PageNameStaysInItsFolder(const std::string& configured) {
    return configured.find('/') == std::string::npos && configured != "." && configured != "..";
}

std::string PageFileName(const std::string& configured) {
    return PageNameStaysInItsFolder(configured) ? configured : DiarySettings{}.PREVIEW_HTML;
}

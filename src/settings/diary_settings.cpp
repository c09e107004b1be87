#include "settings/diary_settings.h"

std::string DiarySettings::DefaultBottomCode() {
    return std::string("<center><small><a href=\"") + kHomePageUrl +
           "\" target=\"_blank\">Corvanet</a></small></center>";
}

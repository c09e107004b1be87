#include "settings/shared_settings.h"

DiarySettings SharedSettings::Copy() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

void SharedSettings::Replace(DiarySettings settings) {
    std::lock_guard lock(mutex_);
    settings_ = std::move(settings);
    generation_.fetch_add(1);
}

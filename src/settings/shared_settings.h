#pragma once

#include <mutex>

#include "settings/diary_settings.h"

// The settings record as the threads share it: the user interface thread
// writes through Update() while the worker takes consistent copies, so a
// store never sees a half-replaced text.
class SharedSettings {
public:
    SharedSettings() = default;
    explicit SharedSettings(DiarySettings initial) : settings_(std::move(initial)) {}

    DiarySettings Copy() const;

    template <class Fn>
    auto Read(Fn&& fn) const {
        std::lock_guard lock(mutex_);
        return fn(static_cast<const DiarySettings&>(settings_));
    }

    template <class Fn>
    void Update(Fn&& fn) {
        std::lock_guard lock(mutex_);
        fn(settings_);
    }

    void Replace(DiarySettings settings);

    bool OnAir() const {
        return Read([](const DiarySettings& s) { return s.ONAIR; });
    }

private:
    mutable std::mutex mutex_;
    DiarySettings settings_;
};

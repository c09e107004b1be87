#pragma once

#include <atomic>
#include <cstdint>
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
        generation_.fetch_add(1);
    }

    void Replace(DiarySettings settings);

    // Counts every Update and Replace: a reader that keeps what it took
    // looks here (one atomic load) to know when to take it again.
    std::uint64_t Generation() const { return generation_.load(); }

    bool OnAir() const {
        return Read([](const DiarySettings& s) { return s.ONAIR; });
    }

private:
    mutable std::mutex mutex_;
    DiarySettings settings_;
    std::atomic<std::uint64_t> generation_{0};
};

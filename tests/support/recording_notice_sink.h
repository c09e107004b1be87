#pragma once

#include <mutex>
#include <vector>

#include "log/diary_notice.h"

class RecordingNoticeSink final : public NoticeSink {
public:
    void Post(int code) override {
        std::lock_guard lock(mutex_);
        codes_.push_back(code);
    }
    std::vector<int> codes() const {
        std::lock_guard lock(mutex_);
        return codes_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<int> codes_;
};

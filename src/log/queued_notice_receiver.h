#pragma once

#include <functional>
#include <memory>

#include "log/diary_notice.h"

class QObject;

// The process's notice receiver for a Qt event loop (main window or headless
// runner): a post from any thread only queues a call to `handler` on the
// thread that constructed this object, and never waits for that thread.
// Registered while it lives; notices still queued at destruction are dropped.
class QueuedNoticeReceiver final : public DiaryNoticeReceiver {
public:
    explicit QueuedNoticeReceiver(std::function<void(int code)> handler);
    ~QueuedNoticeReceiver() override;
    QueuedNoticeReceiver(const QueuedNoticeReceiver&) = delete;
    QueuedNoticeReceiver& operator=(const QueuedNoticeReceiver&) = delete;

    void ReceiveDiaryNotice(int code) override;

private:
    std::function<void(int)> handler_;
    std::unique_ptr<QObject> context_;
};

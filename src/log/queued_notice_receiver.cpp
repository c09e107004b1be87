#include "log/queued_notice_receiver.h"

#include <QMetaObject>
#include <QObject>

QueuedNoticeReceiver::QueuedNoticeReceiver(std::function<void(int code)> handler)
    : handler_(std::move(handler)), context_(std::make_unique<QObject>()) {
    SetDiaryNoticeReceiver(this);
}

QueuedNoticeReceiver::~QueuedNoticeReceiver() {
    // After this no post reaches us; deleting the context discards the calls
    // still queued for it.
    SetDiaryNoticeReceiver(nullptr);
}

void QueuedNoticeReceiver::ReceiveDiaryNotice(int code) {
    QMetaObject::invokeMethod(
        context_.get(), [this, code] { handler_(code); }, Qt::QueuedConnection);
}

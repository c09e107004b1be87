#include "log/diary_notice.h"

#include <mutex>

namespace {
std::mutex g_receiver_mutex;
DiaryNoticeReceiver* g_receiver = nullptr;
}  // namespace

void SetDiaryNoticeReceiver(DiaryNoticeReceiver* receiver) {
    std::lock_guard lock(g_receiver_mutex);
    g_receiver = receiver;
}

int PostDiaryNotice(int code) {
    // The lock only guards against the receiver going away mid-post; the
    // receiver itself just queues.
    std::lock_guard lock(g_receiver_mutex);
    if (g_receiver == nullptr) return 0;
    g_receiver->ReceiveDiaryNotice(code);
    return 1;
}

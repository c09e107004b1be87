#include "timelapse/store_watch.h"

namespace {

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void StoreWatch::Handle(const DiaryEvent& event, const StopSignal&) {
    if (std::holds_alternative<StoreComing>(event)) {
        since_ms_.store(NowMs());
    } else if (std::holds_alternative<PictureStored>(event) ||
               std::holds_alternative<StoreFailed>(event)) {
        since_ms_.store(-1);
    }
}

bool StoreWatch::StoreUnderWay() const {
    const std::int64_t since = since_ms_.load();
    return since >= 0 && NowMs() - since < kLongestWay.count();
}

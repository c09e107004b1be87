#include "publish/page_policy.h"

#include <algorithm>

void PagePolicy::Sent(const std::string& page, const Stamp& stamp) {
    sent_[page] = {stamp, media_bytes_};
    dirty_.erase(page);
}

void PagePolicy::Current(const std::string& page, const Stamp& stamp) {
    sent_[page] = {stamp, media_bytes_};
}

std::optional<PagePolicy::TimePoint> PagePolicy::NextRound() const {
    if (dirty_.empty()) return std::nullopt;
    if (!last_round_) return TimePoint::min();
    return *last_round_ + interval_;
}

bool PagePolicy::RoundDue(TimePoint now) const {
    const std::optional<TimePoint> next = NextRound();
    return next && now >= *next;
}

bool PagePolicy::WorthSending(const std::string& page, TimePoint since, TimePoint now,
                              const Stamp& file) const {
    const auto sent = sent_.find(page);
    if (sent == sent_.end()) return true;
    if (now - since >= std::max<std::chrono::seconds>(kLongestPageWait, interval_)) return true;
    if (file.size < 0) return true;
    return media_bytes_ - sent->second.media_bytes >=
           static_cast<std::uint64_t>(kPageWeight) * static_cast<std::uint64_t>(file.size);
}

std::vector<std::string> PagePolicy::Order(std::vector<std::string> pages, TimePoint now) {
    std::stable_partition(pages.begin(), pages.end(),
                          [](const std::string& p) { return p.find('/') != std::string::npos; });
    last_round_ = now;
    return pages;
}

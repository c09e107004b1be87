#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "publish/local_listing.h"

// When the pages go: a changed page waits for the round (PAGE_INTERVAL_SECOND
// after the last), and a page that went before goes again only once pictures
// of kPageWeight times its size went since (the day page grows all day, and
// would otherwise outweigh the pictures), or once it has waited
// kLongestPageWait. Paths are relative to the save folder.
class PagePolicy {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    static constexpr int kPageWeight = 2;
    static constexpr std::chrono::seconds kLongestPageWait{3600};

    void SetInterval(int seconds) { interval_ = std::chrono::seconds(seconds); }
    // The page changed (kept from its first change since it last went).
    void Changed(const std::string& page, TimePoint now) { dirty_.emplace(page, now); }
    void MediaSent(std::uint64_t bytes) { media_bytes_ += bytes; }
    // The page went as `stamp`; it waits no more.
    void Sent(const std::string& page, const Stamp& stamp);
    // The remote's copy is `stamp` already (a look at the remote said so).
    void Current(const std::string& page, const Stamp& stamp);
    // What went is forgotten (another remote or save folder).
    void ForgetSent() { sent_.clear(); }

    // When the next round is due (now when none came yet); none without a
    // changed page.
    std::optional<TimePoint> NextRound() const;
    bool RoundDue(TimePoint now) const;
    // The pages of this round, day pages before the index page (which links
    // into the days): `all` every changed one (the stop), else those worth
    // sending now; also those of `extra` whose file is not what went.
    // `stamp_of` tells a page's file as it is now.
    template <typename StampOf>
    std::vector<std::string> Round(const std::vector<std::string>& extra, bool all, TimePoint now,
                                   const StampOf& stamp_of);

private:
    struct SentPage {
        Stamp stamp;
        std::uint64_t media_bytes = 0;  // media_bytes_ when it went
    };
    bool WorthSending(const std::string& page, TimePoint since, TimePoint now,
                      const Stamp& file) const;
    std::vector<std::string> Order(std::vector<std::string> pages, TimePoint now);

    std::chrono::seconds interval_{300};
    std::map<std::string, TimePoint> dirty_;
    std::optional<TimePoint> last_round_;
    std::map<std::string, SentPage> sent_;
    std::uint64_t media_bytes_ = 0;
};

template <typename StampOf>
std::vector<std::string> PagePolicy::Round(const std::vector<std::string>& extra, bool all,
                                           TimePoint now, const StampOf& stamp_of) {
    std::vector<std::string> pages;
    for (const auto& [page, since] : dirty_) {
        if (all || WorthSending(page, since, now, stamp_of(page))) pages.push_back(page);
    }
    for (const std::string& page : extra) {
        if (dirty_.contains(page)) continue;
        const Stamp file = stamp_of(page);
        if (file.size < 0) continue;
        const auto sent = sent_.find(page);
        if (sent == sent_.end() || !(sent->second.stamp == file)) pages.push_back(page);
    }
    return Order(std::move(pages), now);
}

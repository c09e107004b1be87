#include "publish/publish_plan.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

void PrintTo(const PlanAction& a, std::ostream* os) {
    *os << "{" << static_cast<int>(a.step) << ", " << a.name << "}";
}

namespace {

constexpr std::int64_t kS = 1'000'000'000;

LocalFile L(std::string name, std::int64_t size, std::int64_t mtime_s = 100) {
    return {std::move(name), {size, mtime_s * kS}};
}
RemoteEntry R(std::string name, std::int64_t size, std::int64_t mtime_s = 100) {
    return {std::move(name), size, mtime_s * kS, false};
}

struct Case {
    const char* what;
    FolderPlanInput input;
    std::vector<PlanAction> expected;
};

FolderPlanInput Day(std::vector<LocalFile> local, std::vector<RemoteEntry> remote,
                    bool exact_times = true, bool newest = false) {
    FolderPlanInput in;
    in.folder = "20240301";
    in.local = std::move(local);
    in.remote = std::move(remote);
    in.layout = {"", "preview.html", "index.html"};
    in.exact_times = exact_times;
    in.newest_day = newest;
    return in;
}

FolderPlanInput Root(std::vector<LocalFile> local, std::vector<RemoteEntry> remote,
                     bool exact_times) {
    FolderPlanInput in = Day(std::move(local), std::move(remote), exact_times);
    in.folder.clear();
    return in;
}

// The planner alone: what goes, what is replaced, what stays, which page is
// refreshed, which leftovers go, from the two listings.
TEST(PublishPlan, EachCaseOfTheTwoListingsGivesItsActions) {
    using enum PlanStep;
    const std::string pic = "20240301120000.jpg";
    const std::vector<Case> cases = {
        {"missing on the remote: sent", Day({L(pic, 10)}, {}), {{kSend, pic}}},
        {"the same there: nothing", Day({L(pic, 10)}, {R(pic, 10)}), {}},
        {"another size there: replaced", Day({L(pic, 10)}, {R(pic, 9)}), {{kReplace, pic}}},
        {"older there (exact times): replaced",
         Day({L(pic, 10, 200)}, {R(pic, 10, 100)}),
         {{kReplace, pic}}},
        {"older by less than the precision: kept", Day({L(pic, 10, 100)}, {R(pic, 10, 99)}), {}},
        {"newer there (someone else's doing): kept", Day({L(pic, 10, 100)}, {R(pic, 10, 200)}), {}},
        {"older there, but the remote keeps no times: kept",
         Day({L(pic, 10, 200)}, {R(pic, 10, 100)}, false),
         {}},
        {"our partial upload deleted first, a user's look-alike kept, nothing of ours is "
         "sent again",
         Day({L(pic, 10)},
             {R(pic + ".Q1w2E3.partial", 3), R("notes.txt.Q1w2E3.partial", 3), R(pic, 10)}),
         {{kDelete, pic + ".Q1w2E3.partial"}}},
        {"the day page goes after the day's media",
         Day({L("20240301.webm", 5), L("preview.html", 7), L(pic, 10)}, {}),
         {{kSend, "20240301.webm"}, {kSend, pic}, {kSendPage, "preview.html"}}},
        {"the same day page: current",
         Day({L("preview.html", 7)}, {R("preview.html", 7)}),
         {{kPageCurrent, "preview.html"}}},
        {"the same size but no times, an older day: current",
         Day({L("preview.html", 7)}, {R("preview.html", 7)}, false, false),
         {{kPageCurrent, "preview.html"}}},
        {"the same size but no times, the newest day: refreshed",
         Day({L("preview.html", 7)}, {R("preview.html", 7)}, false, true),
         {{kRefreshPage, "preview.html"}}},
        {"the index page without times: always refreshed",
         Root({L("index.html", 7), L("style.css", 3)}, {R("index.html", 7), R("style.css", 3)},
              false),
         {{kRefreshPage, "index.html"}}},
        {"the index page and style sheet missing: style sheet, then the page",
         Root({L("index.html", 7), L("style.css", 3)}, {}, true),
         {{kSend, "style.css"}, {kSendPage, "index.html"}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PlanFolder(c.input), c.expected) << c.what;
    }
    // Counted as waiting after an outage: what differs, not a refresh.
    EXPECT_EQ(WaitingCount(PlanFolder(cases[8].input)), 3u);
    EXPECT_EQ(WaitingCount(PlanFolder(cases[11].input)), 0u);
}

}  // namespace

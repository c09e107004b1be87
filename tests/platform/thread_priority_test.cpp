#include "platform/thread_priority.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <thread>

namespace {

// A lowered thread stays at nice 19 under SCHED_OTHER, and so do the threads
// it makes itself; threads made through RunAtDefaultPriority start where the
// process started.
TEST(ThreadPriority, LoweredThreadsMakeDefaultThreadsOnlyThroughTheHelper) {
    const int start = ThreadNiceValue();
    int lowered = -100, inherited = -100, kept = -100, helper_policy = -1;
    std::thread worker([&] {
        LowerThreadToIdlePriority();
        lowered = ThreadNiceValue();
        std::thread([&] { inherited = ThreadNiceValue(); }).join();
        RunAtDefaultPriority([&] {
            std::thread([&] {
                kept = ThreadNiceValue();
                helper_policy = sched_getscheduler(0);
            }).join();
        });
    });
    worker.join();
    EXPECT_EQ(lowered, 19);
    EXPECT_EQ(inherited, 19);
    EXPECT_EQ(kept, start);
    EXPECT_EQ(helper_policy, SCHED_OTHER);
    int here = -100;
    RunAtDefaultPriority([&] { here = ThreadNiceValue(); });
    EXPECT_EQ(here, start);
}

}  // namespace

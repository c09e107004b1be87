#include "log/diary_notice.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <thread>
#include <vector>

#include "log/queued_notice_receiver.h"

namespace {

struct Delivered {
    std::vector<int> codes;
    std::vector<std::thread::id> threads;
};

TEST(DiaryNoticeTest, WithoutReceiverTheNoticeIsDropped) {
    SetDiaryNoticeReceiver(nullptr);
    EXPECT_EQ(PostDiaryNotice(1), 0);
    PostedNoticeSink sink;
    sink.Post(257);  // nothing to crash into
}

TEST(DiaryNoticeTest, WorkerPostsNeverWaitAndArriveInOrderOnTheReceiverThread) {
    Delivered delivered;
    {
        QueuedNoticeReceiver receiver([&](int code) {
            delivered.codes.push_back(code);
            delivered.threads.push_back(std::this_thread::get_id());
        });
        // This thread dispatches nothing while the worker posts: posting
        // must complete regardless.
        std::vector<int> results;
        std::thread worker([&] {
            PostedNoticeSink sink;
            results.push_back(PostDiaryNotice(1));
            sink.Post(256);
            results.push_back(PostDiaryNotice(258));
        });
        worker.join();
        EXPECT_EQ(results, (std::vector<int>{1, 1}));
        EXPECT_TRUE(delivered.codes.empty());

        QCoreApplication::processEvents();
        EXPECT_EQ(delivered.codes, (std::vector<int>{1, 256, 258}));
        for (const auto& id : delivered.threads) EXPECT_EQ(id, std::this_thread::get_id());
    }
    EXPECT_EQ(PostDiaryNotice(1), 0);
}

TEST(DiaryNoticeTest, NoticesStillQueuedWhenTheReceiverGoesAreDropped) {
    int calls = 0;
    {
        QueuedNoticeReceiver receiver([&](int) { ++calls; });
        std::thread([] { PostDiaryNotice(1); }).join();
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(PostDiaryNotice(1), 0);
}

}  // namespace

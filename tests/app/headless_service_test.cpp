// The program as a systemd service (Type=notify) sees it, without systemd: a
// Unix datagram socket of the test's own is NOTIFY_SOCKET, with the watchdog's
// interval in WATCHDOG_USEC, and the kernel's arrival time of every
// notification is kept, so that a busy test thread cannot bunch them up.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/headless_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class NotifySocket {
public:
    struct Message {
        std::string text;
        std::chrono::nanoseconds arrived;  // CLOCK_REALTIME, as the kernel stamps it
    };

    explicit NotifySocket(const fs::path& path) : path_(path) {
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        const int on = 1;
        ok_ = fd_ >= 0 && path.string().size() < sizeof address.sun_path &&
              setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) == 0 &&
              bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (ok_) reader_ = std::thread([this] { Read(); });
    }
    ~NotifySocket() {
        done_.store(true);
        if (reader_.joinable()) reader_.join();
        if (fd_ >= 0) close(fd_);
    }

    bool ok() const { return ok_; }
    std::string Variable() const { return "NOTIFY_SOCKET=" + path_.string(); }
    std::vector<Message> Messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    // The arrival times of the messages that hold `line` as one of theirs.
    std::vector<std::chrono::nanoseconds> Times(const std::string& line) const {
        std::vector<std::chrono::nanoseconds> times;
        for (const Message& message : Messages()) {
            if (("\n" + message.text + "\n").find("\n" + line + "\n") != std::string::npos)
                times.push_back(message.arrived);
        }
        return times;
    }
    std::vector<std::string> Statuses() const {
        std::vector<std::string> statuses;
        for (const Message& message : Messages()) {
            const std::size_t at = ("\n" + message.text).find("\nSTATUS=");
            if (at != std::string::npos)
                statuses.push_back(
                    message.text.substr(at + 7, message.text.find('\n', at + 7) - (at + 7)));
        }
        return statuses;
    }

private:
    void Read() {
        while (!done_.load()) {
            pollfd wait{fd_, POLLIN, 0};
            if (poll(&wait, 1, 50) <= 0) continue;
            char text[4096];
            char control[CMSG_SPACE(sizeof(timespec))];
            iovec io{text, sizeof text - 1};
            msghdr header{};
            header.msg_iov = &io;
            header.msg_iovlen = 1;
            header.msg_control = control;
            header.msg_controllen = sizeof control;
            const ssize_t n = recvmsg(fd_, &header, 0);
            if (n < 0) continue;
            Message message{std::string(text, static_cast<std::size_t>(n)), {}};
            for (cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr; c = CMSG_NXTHDR(&header, c)) {
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                    timespec at{};
                    std::memcpy(&at, CMSG_DATA(c), sizeof at);
                    message.arrived =
                        std::chrono::seconds(at.tv_sec) + std::chrono::nanoseconds(at.tv_nsec);
                }
            }
            std::lock_guard lock(mutex_);
            messages_.push_back(std::move(message));
        }
    }

    fs::path path_;
    int fd_ = -1;
    bool ok_ = false;
    std::atomic<bool> done_{false};
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
    std::thread reader_;
};

std::chrono::nanoseconds Now() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

constexpr auto kWatchdog = 1s;

class HeadlessServiceTest : public HeadlessDiaryTest {
protected:
    void StartNotifying(const std::string& devices, std::chrono::microseconds watchdog = kWatchdog,
                        std::vector<std::string> environment = {}) {
        ASSERT_TRUE(socket_.ok());
        environment.push_back(socket_.Variable());
        environment.push_back("WATCHDOG_USEC=" + std::to_string(watchdog.count()));
        Start(devices, std::move(environment));
    }
    bool WaitForPings(std::size_t count) {
        return WaitUntil(
                   [&] {
                       return socket_.Times("WATCHDOG=1").size() >= count || !process_.Running();
                   },
                   kConditionLimit) &&
               socket_.Times("WATCHDOG=1").size() >= count;
    }

    // Short: a socket's path has room for about 100 bytes.
    NotifySocket socket_{home_.path() / "n"};
};

// Ready after the start-up; the worker's loop feeds the watchdog at half its
// interval, and the status follows the pictures. When the worker hangs for
// good (the camera's driver blocks in a call), the pings stop, though the
// process and its other threads live on, so that systemd restarts it.
TEST_F(HeadlessServiceTest, WorkerFeedsTheWatchdogUntilItHangs) {
    WriteSetup(1, false);
    WriteDevice("Cam", 320, 240);
    StartNotifying("Cam:hang=60");
    ASSERT_TRUE(WaitUntil([&] { return !socket_.Times("READY=1").empty() || !process_.Running(); },
                          kConditionLimit))
        << Transcript();
    ASSERT_TRUE(WaitForPings(4)) << Transcript();
    ASSERT_TRUE(WaitForPictures(1)) << Transcript();
    const std::string first = *PictureNames(diary_).begin();
    const std::string shown = first.substr(9, 4) + "/" + first.substr(13, 2) + "/" +
                              first.substr(15, 2) + " " + first.substr(17, 2) + ":" +
                              first.substr(19, 2) + ":" + first.substr(21, 2);
    EXPECT_TRUE(WaitUntil(
        [&] {
            const auto statuses = socket_.Statuses();
            return std::any_of(statuses.begin(), statuses.end(), [&](const std::string& s) {
                return s == "最後の画像 " + shown + "、続けて失敗した保存 0 回";
            });
        },
        kConditionLimit))
        << ::testing::PrintToString(socket_.Statuses());

    // Never more often than half the interval; as often as that while the
    // worker passes (the median, so that one slow store does not count).
    const auto pings = socket_.Times("WATCHDOG=1");
    std::vector<std::chrono::nanoseconds> gaps;
    for (std::size_t i = 1; i < pings.size(); ++i) gaps.push_back(pings[i] - pings[i - 1]);
    EXPECT_GE(*std::min_element(gaps.begin(), gaps.end()), kWatchdog * 45 / 100);
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    EXPECT_LT(gaps[gaps.size() / 2], kWatchdog) << "median gap";

    // The hang: silence for six ping intervals, and it lasts.
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto times = socket_.Times("WATCHDOG=1");
            return Now() - times.back() > kWatchdog * 3 || !process_.Running();
        },
        kConditionLimit))
        << Transcript();
    ASSERT_TRUE(process_.Running()) << Transcript();
    const std::size_t pinged = socket_.Times("WATCHDOG=1").size();
    std::this_thread::sleep_for(kWatchdog * 2);
    EXPECT_EQ(socket_.Times("WATCHDOG=1").size(), pinged) << "pings after the worker hung";
    EXPECT_TRUE(process_.Running());
    process_.Kill();
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
}

// Without a camera no worker runs: the start-up still ends ready (waiting
// for a camera is the service doing its job), and the owner's retries keep
// the watchdog fed. A stop says so before the end.
TEST_F(HeadlessServiceTest, WaitingForACameraIsReadyAndAlive) {
    if (fs::exists("/dev/video0")) GTEST_SKIP() << "this machine has a camera";
    WriteSetup(1, false);
    StartNotifying("");
    ASSERT_TRUE(WaitUntil([&] { return !socket_.Times("READY=1").empty() || !process_.Running(); },
                          kConditionLimit))
        << Transcript();
    EXPECT_THAT(socket_.Statuses().front(), HasSubstr("カメラを待っています"));
    ASSERT_TRUE(WaitForPings(3)) << Transcript();
    StopAndExpectCleanExit();
    EXPECT_EQ(socket_.Times("STOPPING=1").size(), 1u);
}

// A store whose camera never sends a frame spends about 15 s in its waits
// at the designed delays: the fresh frame's polls, the pauses, run waits and
// settle waits of four rebuilds. With WATCHDOG_USEC=2000000 (a ping a
// second) those waits feed the watchdog too: no gap beyond 1.5 s, through
// the failed store.
TEST_F(HeadlessServiceTest, LongWaitsOfAStoreAndItsRebuildsFeedTheWatchdog) {
    constexpr auto kInterval = 2s;
    WriteSetup(1, false);
    WriteDevice("Cam", 320, 240);
    StartNotifying("Cam:fail", kInterval, {"QUILLOMAT_TEST_DELAYS=1"});
    ASSERT_TRUE(process_.WaitForLogLine(kPictureFailedLine, 1, 2 * kConditionLimit))
        << Transcript();
    ASSERT_TRUE(process_.Running()) << Transcript();
    const auto ready = socket_.Times("READY=1");
    ASSERT_FALSE(ready.empty());
    std::vector<std::chrono::nanoseconds> pings;
    for (const auto& at : socket_.Times("WATCHDOG=1"))
        if (at > ready.front()) pings.push_back(at);
    pings.push_back(Now());
    StopAndExpectCleanExit();
    std::chrono::nanoseconds longest{0};
    for (std::size_t i = 1; i < pings.size(); ++i)
        longest = std::max(longest, pings[i] - pings[i - 1]);
    std::printf("[   INFO   ] longest gap %.3f s over %zu pings\n",
                std::chrono::duration<double>(longest).count(), pings.size() - 1);
    EXPECT_LE(longest, 1500ms);
    EXPECT_GE(pings.size(), 11u) << "a store of four rebuilds takes over 10 s";
}

// Outside the recording hours, with the camera let go, the diary only
// waits: the status says until when instead of looking stuck, and the
// worker's passes keep the watchdog fed.
TEST_F(HeadlessServiceTest, OutsideTheHoursTheStatusSaysUntilWhenAndThePingsGoOn) {
    const std::time_t begins = std::time(nullptr) / 60 * 60 + 2 * 3600;
    const std::time_t ends = begins + 3600;
    std::tm begin{};
    std::tm end{};
    std::tm today{};
    const std::time_t now = std::time(nullptr);
    gmtime_r(&begins, &begin);
    gmtime_r(&ends, &end);
    gmtime_r(&now, &today);
    char hours[32];
    std::snprintf(hours, sizeof hours, "%02d:%02d-%02d:%02d", begin.tm_hour, begin.tm_min,
                  end.tm_hour, end.tm_min);
    char until[32];
    if (begin.tm_yday == today.tm_yday) {
        std::snprintf(until, sizeof until, "%02d:%02d", begin.tm_hour, begin.tm_min);
    } else {
        std::snprintf(until, sizeof until, "%d/%d %02d:%02d", begin.tm_mon + 1, begin.tm_mday,
                      begin.tm_hour, begin.tm_min);
    }
    WriteSetup(1, true, {"[SCHEDULE]", std::string("HOURS=") + hours, "RELEASE_CAMERA=on"});
    WriteDevice("Cam", 320, 240);
    StartNotifying("Cam", kWatchdog, {"TZ=UTC"});
    const std::string status =
        std::string("録画時間外 ") + until + " まで、最後の画像 なし、続けて失敗した保存 0 回";
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto statuses = socket_.Statuses();
            return std::find(statuses.begin(), statuses.end(), status) != statuses.end() ||
                   !process_.Running();
        },
        kConditionLimit))
        << ::testing::PrintToString(socket_.Statuses()) << Transcript();
    const std::size_t pinged = socket_.Times("WATCHDOG=1").size();
    ASSERT_TRUE(WaitForPings(pinged + 4)) << Transcript();
    StopAndExpectCleanExit();
    EXPECT_EQ(PictureCount(), 0u);
}

}  // namespace

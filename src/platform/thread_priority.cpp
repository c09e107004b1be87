#include "platform/thread_priority.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

constexpr int kLowestNormalPriority = 19;

thread_local bool t_lowered = false;

// One thread at the starting priority that runs what lowered threads hand
// it, one call at a time.
class DefaultPriorityRunner {
public:
    static DefaultPriorityRunner& Instance() {
        static DefaultPriorityRunner runner;
        return runner;
    }

    void Run(const std::function<void()>& fn) {
        Job job{&fn};
        std::unique_lock lock(mutex_);
        jobs_.push_back(&job);
        wake_.notify_all();
        done_.wait(lock, [&] { return job.done; });
    }

private:
    struct Job {
        const std::function<void()>* fn;
        bool done = false;
    };

    DefaultPriorityRunner() : thread_([this] { Loop(); }) {}
    ~DefaultPriorityRunner() {
        {
            std::lock_guard lock(mutex_);
            ending_ = true;
            wake_.notify_all();
        }
        thread_.join();
    }

    void Loop() {
        pthread_setname_np(pthread_self(), "run at default");
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return ending_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            Job* job = jobs_.front();
            jobs_.pop_front();
            lock.unlock();
            (*job->fn)();
            lock.lock();
            job->done = true;
            done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::deque<Job*> jobs_;
    bool ending_ = false;
    std::thread thread_;
};

}  // namespace

void LowerThreadToIdlePriority() {
    // Made while this thread still has the priority it was started with.
    DefaultPriorityRunner::Instance();
    // Linux keeps the nice value per thread: PRIO_PROCESS with a thread id
    // changes that thread alone.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kLowestNormalPriority);
    t_lowered = true;
}

void RunAtDefaultPriority(const std::function<void()>& fn) {
    if (!t_lowered) {
        fn();
        return;
    }
    DefaultPriorityRunner::Instance().Run(fn);
}

int ThreadNiceValue() {
    errno = 0;
    return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
}

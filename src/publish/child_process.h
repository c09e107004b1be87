#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// A helper program run as a child: an argument vector, never a shell. Its
// standard input and output are /dev/null; its standard error is read
// through a pipe. It gets SIGTERM when the thread that started it ends (so
// also when this process dies, even by SIGKILL), has default signal
// handling and an empty signal mask whatever this process blocks, its own
// process group (a signal to ours does not end it before we are done with
// it), and runs at the starting thread's priority.
class ChildProcess {
public:
    ChildProcess() = default;
    // Stop(): the child never outlives its owner.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // `argv[0]` is the program's path; `environment` holds "NAME=value"
    // entries. False with the reason when it could not be started.
    bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               std::string* error);
    // True until the child has ended (it is reaped then).
    bool Running();
    // What the child wrote to its standard error since the last call,
    // waiting up to `wait` for the first bytes.
    std::string ReadErrors(std::chrono::milliseconds wait);
    // SIGTERM, then SIGKILL after `grace`; reaps. Nothing when none runs.
    void Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(300));
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int errors_fd_ = -1;
};

// The absolute path of `program` found on PATH, or empty.
std::string FindOnPath(const std::string& program);

#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// A program run as a child: an argument vector, never a shell. Its standard
// input and output are /dev/null; its standard error is read through a pipe
// (the first line and the last few KB are kept). It runs in a process group
// of its own (a signal to ours does not reach it, and ending it ends all it
// started there), with default signal handling and an empty signal mask
// whatever this process blocks, none of this process's descriptors, and at
// the starting thread's priority. It gets SIGKILL when the thread that
// started it ends, so also when this process dies, even by SIGKILL (only the
// group's first process: the rest of the group is ended by End or Poll).
// Nothing here blocks except End and WaitForErrors.
class ChildProcess {
public:
    struct Outcome {
        bool exited = false;  // false: ended by a signal
        int exit_code = 0;
        int signal = 0;
        std::string first_error_line;
        bool Succeeded() const { return exited && exit_code == 0; }
    };

    ChildProcess() = default;
    // End(0): the child never outlives its owner.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // `argv[0]` is a path, or a name looked up on PATH; `environment` holds
    // every "NAME=value" entry the child gets. False with the reason
    // ("<program>: <why>") when it could not be started.
    bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               std::string& error);
    // Reads what its error output holds and reaps it once it has ended, then
    // ends whatever it left running in its group; true while it runs.
    bool Poll();
    // Up to `wait` for error output (or the end of it), then reads it.
    void WaitForErrors(std::chrono::milliseconds wait);
    // Sends `signal` to its whole group (also after the first process ended).
    void SignalGroup(int signal);
    // SIGTERM to the group, up to `grace` for it to end, then SIGKILL;
    // reaps. Nothing when none runs.
    void End(std::chrono::milliseconds grace);

    bool Running() const { return pid_ > 0 && !outcome_; }
    pid_t pid() const { return pid_; }
    // Set once it has ended.
    const std::optional<Outcome>& outcome() const { return outcome_; }
    // The last lines it wrote to its standard error (a few KB).
    const std::string& RecentErrors() const { return recent_errors_; }

private:
    void ReadErrors();
    void CloseErrors();

    pid_t pid_ = -1;
    int errors_fd_ = -1;
    std::string first_line_;
    bool first_line_done_ = false;
    std::string recent_errors_;
    std::optional<Outcome> outcome_;
};

// The absolute path of `program` found on PATH (or `program` itself when it
// holds a "/" and can be run), or empty.
std::string FindOnPath(const std::string& program);

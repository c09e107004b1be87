#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A command line split into words as a POSIX shell splits them (quotes,
// backslashes, comments), with nothing expanded; `error` says why a line is
// no command (an unmatched quote, nothing but blanks).
struct CommandWords {
    std::vector<std::string> words;
    std::string error;
};
CommandWords SplitCommandLine(const std::string& line);

// One command run directly, never through a shell, in a process group of its
// own: standard input and output are /dev/null, the first line of its error
// output is kept. Nothing here blocks except End.
class CommandProcess {
public:
    struct Outcome {
        bool exited = false;  // false: ended by a signal
        int exit_code = 0;
        int signal = 0;
        std::string first_error_line;
        bool Succeeded() const { return exited && exit_code == 0; }
    };

    CommandProcess() = default;
    // Ends a command still running (see End) and reaps it.
    ~CommandProcess();
    CommandProcess(const CommandProcess&) = delete;
    CommandProcess& operator=(const CommandProcess&) = delete;

    // Starts `words` (the first looked up in PATH when it has no "/") with
    // the program's environment less the service manager's variables, plus
    // `environment`. False, with the reason in `error`, when it cannot start.
    bool Start(const std::vector<std::string>& words,
               const std::vector<std::pair<std::string, std::string>>& environment,
               std::string& error);
    // Reads what its error output holds and reaps it once it has ended;
    // true while it runs.
    bool Poll();
    // Sends `signal` to its whole group (also after the first process ended).
    void SignalGroup(int signal);
    // SIGTERM to the group, up to `grace` for the command to end, then
    // SIGKILL; reaps it.
    void End(std::chrono::milliseconds grace);

    bool Running() const { return pid_ > 0 && !outcome_; }
    pid_t pid() const { return pid_; }
    // Set once it has ended.
    const std::optional<Outcome>& outcome() const { return outcome_; }

private:
    void ReadErrors();
    void CloseErrors();

    pid_t pid_ = -1;
    int errors_fd_ = -1;
    std::string error_line_;
    bool error_line_done_ = false;
    std::optional<Outcome> outcome_;
};

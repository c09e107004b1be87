#include "event_commands/command_process.h"

#include <fcntl.h>
#include <glib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <thread>

extern char** environ;

namespace {

// A line kept for the log, cut here.
constexpr std::size_t kLongestErrorLine = 300;
constexpr auto kEndStep = std::chrono::milliseconds(10);
// After SIGKILL a process ends at once unless the kernel holds it in a call.
constexpr auto kReapAfterKill = std::chrono::seconds(2);

// The service manager's variables are the program's own: a command that used
// them would speak for the program.
bool Inherited(std::string_view entry) {
    for (const std::string_view name : {"NOTIFY_SOCKET=", "WATCHDOG_USEC=", "WATCHDOG_PID="}) {
        if (entry.starts_with(name)) return false;
    }
    return true;
}

}  // namespace

CommandWords SplitCommandLine(const std::string& line) {
    CommandWords result;
    gint argc = 0;
    gchar** argv = nullptr;
    GError* error = nullptr;
    if (!g_shell_parse_argv(line.c_str(), &argc, &argv, &error)) {
        result.error = error != nullptr ? error->message : "?";
        if (error != nullptr) g_error_free(error);
        return result;
    }
    for (gint i = 0; i < argc; ++i) result.words.emplace_back(argv[i]);
    g_strfreev(argv);
    return result;
}

CommandProcess::~CommandProcess() {
    if (Running()) End(std::chrono::milliseconds(0));
    CloseErrors();
}

bool CommandProcess::Start(const std::vector<std::string>& words,
                           const std::vector<std::pair<std::string, std::string>>& environment,
                           std::string& error) {
    if (pid_ > 0 || words.empty()) {
        error = std::strerror(EINVAL);
        return false;
    }
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return false;
    }
    std::vector<char*> argv;
    for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> added;
    for (const auto& [name, value] : environment) added.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        bool replaced = !Inherited(text);
        for (const auto& [name, value] : environment)
            replaced = replaced || (text.starts_with(name) && text.size() > name.size() &&
                                    text[name.size()] == '=');
        if (!replaced) envp.push_back(*entry);
    }
    for (std::string& entry : added) envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own, so that a time-out ends whatever it started; the
    // program's threads block SIGINT and SIGTERM, which the command must not
    // inherit, nor any signal the program ignores.
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int each : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGALRM, SIGTERM, SIGUSR1, SIGUSR2,
                           SIGCHLD, SIGTSTP, SIGTTIN, SIGTTOU})
        sigaddset(&defaults, each);
    posix_spawnattr_setsigdefault(&attributes, &defaults);

    pid_t pid = -1;
    const int result = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    if (result != 0) {
        close(pipe_fds[0]);
        error = std::strerror(result);
        return false;
    }
    fcntl(pipe_fds[0], F_SETFL, fcntl(pipe_fds[0], F_GETFL) | O_NONBLOCK);
    pid_ = pid;
    errors_fd_ = pipe_fds[0];
    return true;
}

void CommandProcess::ReadErrors() {
    char chunk[4096];
    while (errors_fd_ >= 0) {
        const ssize_t n = read(errors_fd_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) {
            CloseErrors();
            return;
        }
        if (n < 0) return;  // nothing more now
        // Only the first line is kept; the rest is read and dropped so that
        // the command never blocks on a full pipe.
        for (ssize_t i = 0; i < n && !error_line_done_; ++i) {
            if (chunk[i] == '\n' || error_line_.size() >= kLongestErrorLine) {
                error_line_done_ = true;
            } else if (chunk[i] != '\r') {
                error_line_ += chunk[i];
            }
        }
    }
}

void CommandProcess::CloseErrors() {
    if (errors_fd_ >= 0) close(errors_fd_);
    errors_fd_ = -1;
}

bool CommandProcess::Poll() {
    if (pid_ <= 0 || outcome_) return false;
    ReadErrors();
    int status = 0;
    const pid_t reaped = waitpid(pid_, &status, WNOHANG);
    if (reaped == 0 || (reaped < 0 && errno == EINTR)) return true;
    Outcome outcome;
    if (reaped == pid_ && WIFEXITED(status)) {
        outcome.exited = true;
        outcome.exit_code = WEXITSTATUS(status);
    } else if (reaped == pid_ && WIFSIGNALED(status)) {
        outcome.signal = WTERMSIG(status);
    } else {
        outcome.exited = true;
        outcome.exit_code = -1;
    }
    // What it wrote before it ended; a child it left behind may keep the
    // pipe open, so this does not wait for the end of it.
    ReadErrors();
    CloseErrors();
    outcome.first_error_line = error_line_;
    outcome_ = std::move(outcome);
    return false;
}

void CommandProcess::SignalGroup(int signal) {
    if (pid_ > 0) kill(-pid_, signal);
}

void CommandProcess::End(std::chrono::milliseconds grace) {
    if (!Running()) return;
    SignalGroup(SIGTERM);
    const auto give_up = std::chrono::steady_clock::now() + grace;
    while (Poll() && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(kEndStep);
    SignalGroup(SIGKILL);
    const auto reap_by = std::chrono::steady_clock::now() + kReapAfterKill;
    while (Poll() && std::chrono::steady_clock::now() < reap_by)
        std::this_thread::sleep_for(kEndStep);
}

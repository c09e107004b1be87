#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

// A line kept for the log, cut here.
constexpr std::size_t kLongestErrorLine = 300;
constexpr std::size_t kErrorsKept = 4096;
constexpr auto kEndStep = std::chrono::milliseconds(5);
// After SIGKILL a process ends at once unless the kernel holds it in a call.
constexpr auto kReapAfterKill = std::chrono::seconds(2);

// In the child between fork and exec: system calls only.
void CloseFrom(unsigned int first, unsigned int last) {
    if (first > last) return;
    if (::syscall(SYS_close_range, first, last, 0) == 0) return;
    const long most = std::min<long>(::sysconf(_SC_OPEN_MAX), 1 << 16);
    for (long fd = first; fd <= std::min<long>(last, most); ++fd) ::close(static_cast<int>(fd));
}

}  // namespace

ChildProcess::~ChildProcess() {
    End(std::chrono::milliseconds(0));
    CloseErrors();
}

bool ChildProcess::Start(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment, std::string& error) {
    if (Running() || argv.empty()) {
        error = std::strerror(EINVAL);
        return false;
    }
    CloseErrors();
    outcome_.reset();
    first_line_.clear();
    first_line_done_ = false;
    recent_errors_.clear();
    pid_ = -1;
    // A path is tried as it is, so that the exec says why it cannot run.
    const std::string program =
        argv[0].find('/') != std::string::npos ? argv[0] : FindOnPath(argv[0]);
    if (program.empty()) {
        error = argv[0] + ": " + std::strerror(ENOENT);
        return false;
    }
    // Everything the child needs is made before the fork: between fork and
    // exec a threaded process may only make system calls.
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> env;
    for (const std::string& e : environment) env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return false;
    }
    const int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    // The exec's failure comes back through a pipe that the exec closes,
    // above the standard three so that placing them cannot overwrite it.
    int exec_fds[2] = {-1, -1};
    const bool made = null_fd >= 0 && ::pipe2(exec_fds, O_CLOEXEC) == 0;
    const int report = made ? ::fcntl(exec_fds[1], F_DUPFD_CLOEXEC, 3) : -1;
    if (report < 0) {
        error = std::strerror(errno);
        for (const int fd : {null_fd, pipe_fds[0], pipe_fds[1], exec_fds[0], exec_fds[1]})
            if (fd >= 0) ::close(fd);
        return false;
    }
    ::close(exec_fds[1]);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The starting thread's end (also this process's death) ends it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        ::setpgid(0, 0);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        for (int s = 1; s < NSIG; ++s) ::sigaction(s, &dfl, nullptr);
        const auto place = [](int from, int to) {
            // dup2 onto itself keeps close-on-exec: clear it instead.
            if (from == to) {
                ::fcntl(to, F_SETFD, 0);
            } else {
                ::dup2(from, to);
            }
        };
        place(null_fd, STDIN_FILENO);
        place(null_fd, STDOUT_FILENO);
        place(pipe_fds[1], STDERR_FILENO);
        // Not even the descriptors a library opened without close-on-exec.
        CloseFrom(3, static_cast<unsigned int>(report) - 1);
        CloseFrom(static_cast<unsigned int>(report) + 1, ~0U);
        ::execve(program.c_str(), args.data(), env.data());
        const int code = errno;
        [[maybe_unused]] const ssize_t n = ::write(report, &code, sizeof code);
        ::_exit(127);
    }
    const int fork_errno = errno;
    ::close(null_fd);
    ::close(pipe_fds[1]);
    ::close(report);
    if (pid < 0) {
        error = std::strerror(fork_errno);
        ::close(pipe_fds[0]);
        ::close(exec_fds[0]);
        return false;
    }
    // Also here: a signal to the group must not find the child still in ours.
    ::setpgid(pid, pid);
    int exec_errno = 0;
    ssize_t got;
    do {
        got = ::read(exec_fds[0], &exec_errno, sizeof exec_errno);
    } while (got < 0 && errno == EINTR);
    ::close(exec_fds[0]);
    pid_ = pid;
    errors_fd_ = pipe_fds[0];
    ::fcntl(errors_fd_, F_SETFL, ::fcntl(errors_fd_, F_GETFL) | O_NONBLOCK);
    if (got == static_cast<ssize_t>(sizeof exec_errno)) {
        error = program + ": " + std::strerror(exec_errno);
        End(std::chrono::milliseconds(0));
        outcome_.reset();
        pid_ = -1;
        return false;
    }
    return true;
}

void ChildProcess::ReadErrors() {
    char chunk[4096];
    for (std::size_t total = 0; errors_fd_ >= 0 && total < (1u << 20);) {
        const ssize_t n = ::read(errors_fd_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) {
            CloseErrors();
            return;
        }
        if (n < 0) return;  // nothing more now
        total += static_cast<std::size_t>(n);
        for (ssize_t i = 0; i < n && !first_line_done_; ++i) {
            if (chunk[i] == '\n' || first_line_.size() >= kLongestErrorLine) {
                first_line_done_ = true;
            } else if (chunk[i] != '\r') {
                first_line_ += chunk[i];
            }
        }
        // The rest is kept only as a tail, so that the child never blocks
        // on a full pipe and a flood costs no memory.
        recent_errors_.append(chunk, static_cast<std::size_t>(n));
        if (recent_errors_.size() > kErrorsKept) {
            std::size_t cut = recent_errors_.size() - kErrorsKept;
            const std::size_t line = recent_errors_.find('\n', cut);
            if (line != std::string::npos) cut = line + 1;
            recent_errors_.erase(0, cut);
        }
    }
}

void ChildProcess::CloseErrors() {
    if (errors_fd_ >= 0) ::close(errors_fd_);
    errors_fd_ = -1;
}

void ChildProcess::WaitForErrors(std::chrono::milliseconds wait) {
    if (errors_fd_ < 0) return;
    pollfd p{errors_fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(wait.count())) > 0) ReadErrors();
}

bool ChildProcess::Poll() {
    if (pid_ <= 0 || outcome_) return false;
    ReadErrors();
    int status = 0;
    const pid_t reaped = ::waitpid(pid_, &status, WNOHANG);
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
    // What it started goes with it: its group outlives it only as long as a
    // member does, so the number is not anyone else's yet.
    SignalGroup(SIGKILL);
    // What it wrote before it ended; a child it left behind may keep the
    // pipe open for a moment, so this does not wait for the end of it.
    ReadErrors();
    CloseErrors();
    outcome.first_error_line = first_line_;
    outcome_ = std::move(outcome);
    return false;
}

void ChildProcess::SignalGroup(int signal) {
    if (pid_ > 0) ::kill(-pid_, signal);
}

void ChildProcess::End(std::chrono::milliseconds grace) {
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

std::string FindOnPath(const std::string& program) {
    if (program.empty()) return {};
    if (program.find('/') != std::string::npos)
        return ::access(program.c_str(), X_OK) == 0 ? program : std::string();
    const char* path = std::getenv("PATH");
    std::string paths = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= paths.size()) {
        const std::size_t end = std::min(paths.find(':', start), paths.size());
        std::string dir = paths.substr(start, end - start);
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + program;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

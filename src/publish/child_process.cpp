#include "publish/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

ChildProcess::~ChildProcess() { Stop(); }

bool ChildProcess::Start(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment, std::string* error) {
    Stop();
    if (argv.empty()) return false;
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
        if (error) *error = std::strerror(errno);
        return false;
    }
    const int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null_fd < 0) {
        if (error) *error = std::strerror(errno);
        ::close(pipe_fds[0]);
        ::close(pipe_fds[1]);
        return false;
    }
    // The exec's failure comes back through a pipe that the exec closes.
    int exec_fds[2];
    if (::pipe2(exec_fds, O_CLOEXEC) != 0) {
        if (error) *error = std::strerror(errno);
        ::close(null_fd);
        ::close(pipe_fds[0]);
        ::close(pipe_fds[1]);
        return false;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The parent's death (this thread's end) ends the helper too.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        // Its own process group: a Ctrl-C at the terminal (or a signal to our
        // group) reaches us, and we end the helper after our last work with it.
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
        ::execve(args[0], args.data(), env.data());
        const int code = errno;
        [[maybe_unused]] const ssize_t n = ::write(exec_fds[1], &code, sizeof code);
        ::_exit(127);
    }
    const int fork_errno = errno;
    ::close(null_fd);
    ::close(pipe_fds[1]);
    ::close(exec_fds[1]);
    if (pid < 0) {
        if (error) *error = std::strerror(fork_errno);
        ::close(pipe_fds[0]);
        ::close(exec_fds[0]);
        return false;
    }
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
        if (error) *error = args[0] + std::string(": ") + std::strerror(exec_errno);
        Stop();
        return false;
    }
    return true;
}

bool ChildProcess::Running() {
    if (pid_ < 0) return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == 0) return true;
    pid_ = -1;
    return false;
}

std::string ChildProcess::ReadErrors(std::chrono::milliseconds wait) {
    std::string out;
    if (errors_fd_ < 0) return out;
    pollfd p{errors_fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0) return out;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(errors_fd_, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
            if (out.size() > (1u << 20)) break;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // End of file: the child has closed it (ended); nothing more comes.
        if (n == 0) CloseFd(errors_fd_);
        break;
    }
    return out;
}

void ChildProcess::Stop(std::chrono::milliseconds grace) {
    if (pid_ >= 0) {
        ::kill(pid_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + grace;
        int status = 0;
        for (;;) {
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r != 0) break;
            if (std::chrono::steady_clock::now() >= deadline) {
                ::kill(pid_, SIGKILL);
                while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
                }
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pid_ = -1;
    }
    CloseFd(errors_fd_);
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

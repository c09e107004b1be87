#include "app/diary_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <ctime>
#include <thread>

#include "support/jpeg_decode.h"
#include "support/temp_dir.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string QuillomatExecutable() { return QUILLOMAT_EXECUTABLE; }
std::string FullDiskShimLibrary() { return QUILLOMAT_FULL_DISK_SHIM; }

void WriteIniFile(const fs::path& path, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    WriteFileBytes(path, text);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit,
               std::chrono::milliseconds step) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(step);
    }
}

std::string ProcessEnd::Describe() const {
    if (!ended) return "still running at the limit (killed)";
    if (by_signal)
        return "ended by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
    return "exit code " + std::to_string(exit_code) + " after " + std::to_string(seconds) + " s";
}

DiaryProcess::~DiaryProcess() {
    if (Running()) Kill();
}

bool DiaryProcess::Start(const Options& options) {
    if (Running()) return false;
    ++starts_;
    stdout_path_ = options.home / ("stdout-" + std::to_string(starts_) + ".txt");
    stderr_path_ = options.home / ("stderr-" + std::to_string(starts_) + ".txt");

    std::vector<std::string> env;
    bool preloads = false;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        // The test devices' faults come from the plugin the test was given.
        if (entry.starts_with("QUILLOMAT_") && !entry.starts_with("QUILLOMAT_TEST_DEVICE_PLUGIN="))
            continue;
        env.push_back(entry);
    }
    env.push_back("QUILLOMAT_HOME=" + options.home.string());
    if (options.test_devices) env.push_back("QUILLOMAT_TEST_DEVICES=" + *options.test_devices);
    const bool own_delays = std::any_of(
        options.environment.begin(), options.environment.end(),
        [](const std::string& entry) { return entry.starts_with("QUILLOMAT_TEST_DELAYS="); });
    if (options.delay_divisor > 1 && !own_delays) {
        env.push_back("QUILLOMAT_TEST_DELAYS=" + std::to_string(options.delay_divisor));
    }
    // The designed texts whatever this machine's locale, unless a test asks
    // for a language.
    const bool own_language = std::any_of(
        options.environment.begin(), options.environment.end(),
        [](const std::string& entry) { return entry.starts_with("QUILLOMAT_LANGUAGE="); });
    if (!own_language) env.push_back("QUILLOMAT_LANGUAGE=ja");
    for (const std::string& entry : options.environment) {
        env.push_back(entry);
        if (entry.starts_with("LD_PRELOAD=")) preloads = true;
    }
    if (preloads) {
        // Under AddressSanitizer a preloaded library comes before the
        // sanitizer's runtime, which it otherwise refuses.
        std::string asan = "ASAN_OPTIONS=verify_asan_link_order=0";
        for (auto it = env.begin(); it != env.end(); ++it) {
            if (it->starts_with("ASAN_OPTIONS=")) {
                asan = *it + ":verify_asan_link_order=0";
                env.erase(it);
                break;
            }
        }
        env.push_back(asan);
    }
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);

    std::vector<std::string> arguments = options.launcher;
    arguments.push_back(QuillomatExecutable());
    arguments.insert(arguments.end(), options.arguments.begin(), options.arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdout_path_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderr_path_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!options.working_directory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, options.working_directory.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Its own process group, so that a kill also reaches any helper it runs;
    // default signal handling whatever the test binary has set.
    sigset_t all;
    sigfillset(&all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return false;
    pid_ = pid;
    end_.reset();
    signalled_at_ = std::chrono::steady_clock::now();
    return true;
}

void DiaryProcess::Reap(int status) {
    ProcessEnd end;
    end.ended = true;
    end.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled_at_).count();
    if (WIFSIGNALED(status)) {
        end.by_signal = true;
        end.signal = WTERMSIG(status);
    } else {
        end.exit_code = WEXITSTATUS(status);
    }
    end_ = end;
    pid_ = -1;
}

bool DiaryProcess::Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        Reap(status);
        return false;
    }
    return true;
}

void DiaryProcess::Signal(int signal) {
    if (pid_ <= 0) return;
    signalled_at_ = std::chrono::steady_clock::now();
    ::kill(pid_, signal);
}

ProcessEnd DiaryProcess::WaitForEnd(std::chrono::milliseconds limit) {
    const auto give_up = std::chrono::steady_clock::now() + limit;
    while (Running()) {
        if (std::chrono::steady_clock::now() >= give_up) {
            const pid_t pid = pid_;
            ::kill(-pid, SIGKILL);
            ::kill(pid, SIGKILL);
            int status = 0;
            ::waitpid(pid, &status, 0);
            pid_ = -1;
            end_ = ProcessEnd{};
            return *end_;
        }
        std::this_thread::sleep_for(5ms);
    }
    return end_.value_or(ProcessEnd{});
}

void DiaryProcess::Kill() {
    if (pid_ <= 0) return;
    const pid_t pid = pid_;
    // The group too (the leader is not reaped yet, so the group is still ours).
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid) Reap(status);
    pid_ = -1;
}

std::string DiaryProcess::Output() const { return ReadFileBytes(stdout_path_); }
std::string DiaryProcess::Errors() const { return ReadFileBytes(stderr_path_); }

std::vector<std::string> LogTexts(const std::string& output) {
    std::vector<std::string> texts;
    std::size_t pos = 0;
    while (pos < output.size()) {
        std::size_t end = output.find('\n', pos);
        if (end == std::string::npos) break;  // a line still being written
        const std::string line = output.substr(pos, end - pos);
        pos = end + 1;
        // "M/D hh:mm:ss - text"
        int month = 0, day = 0, h = 0, m = 0, s = 0, used = 0;
        if (std::sscanf(line.c_str(), "%d/%d %2d:%2d:%2d - %n", &month, &day, &h, &m, &s, &used) ==
                5 &&
            used > 0 && line.compare(static_cast<std::size_t>(used) - 3, 3, " - ") == 0) {
            texts.push_back(line.substr(static_cast<std::size_t>(used)));
        }
    }
    return texts;
}

int DiaryProcess::CountLogLines(const std::string& text) const {
    int count = 0;
    for (const std::string& t : LogTexts(Output())) count += t == text ? 1 : 0;
    return count;
}

bool DiaryProcess::WaitForLogLine(const std::string& text, int count,
                                  std::chrono::milliseconds limit) {
    return WaitUntil([&] { return CountLogLines(text) >= count || !Running(); }, limit) &&
           CountLogLines(text) >= count;
}

std::string TodayFolderName() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    char name[16];
    std::strftime(name, sizeof name, "%Y%m%d", &t);
    return name;
}

std::vector<fs::path> FilesEndingIn(const fs::path& root, const std::string& suffix) {
    std::vector<fs::path> found;
    std::error_code ec;
    fs::recursive_directory_iterator it(root, ec);
    if (ec) return found;
    for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        std::error_code type_ec;
        if (it->is_regular_file(type_ec) && it->path().filename().string().ends_with(suffix)) {
            found.push_back(it->path());
        }
    }
    return found;
}

std::set<std::string> PictureNames(const fs::path& root) {
    std::set<std::string> names;
    for (const fs::path& p : FilesEndingIn(root, ".jpg"))
        names.insert(p.lexically_relative(root).string());
    return names;
}

std::set<std::string> ListedPictures(const fs::path& page, const fs::path& root) {
    const std::string text = ReadFileBytes(page);
    std::set<std::string> listed;
    for (const char* attribute : {"href=\"", "src=\""}) {
        const std::size_t length = std::strlen(attribute);
        for (std::size_t pos = text.find(attribute); pos != std::string::npos;
             pos = text.find(attribute, pos + 1)) {
            const std::size_t begin = pos + length;
            const std::size_t end = text.find('"', begin);
            if (end == std::string::npos) break;
            const std::string value = text.substr(begin, end - begin);
            if (!value.ends_with(".jpg")) continue;
            const fs::path target = (page.parent_path() / value).lexically_normal();
            listed.insert(target.lexically_relative(root).string());
        }
    }
    return listed;
}

std::vector<std::string> DiaryIntegrityProblems(const fs::path& root) {
    std::vector<std::string> problems;
    std::set<std::string> good;
    for (const fs::path& picture : FilesEndingIn(root, ".jpg")) {
        const std::string name = picture.lexically_relative(root).string();
        if (DecodeJpegFile(picture.string())) {
            good.insert(name);
        } else {
            problems.push_back("picture does not decode: " + name);
        }
    }
    static const std::string kPageEnd = "</body></html>\r\n";
    for (const fs::path& page : FilesEndingIn(root, ".html")) {
        const std::string name = page.lexically_relative(root).string();
        if (!ReadFileBytes(page).ends_with(kPageEnd)) problems.push_back("page cut short: " + name);
        for (const std::string& listed : ListedPictures(page, root)) {
            if (!good.contains(listed))
                problems.push_back(name + " lists a missing or broken picture: " + listed);
        }
    }
    return problems;
}

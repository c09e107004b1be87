#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The real `quillomat --headless` as a child process, for end-to-end tests:
// a home folder with its INI files, captured output, signals, and waits that
// never hang (a process still there at the end of a wait is killed).

// Paths of the built executable and the full-disk shim.
std::string QuillomatExecutable();
std::string FullDiskShimLibrary();

// Writes INI lines joined and ended by CR LF, byte for byte (ASCII or CP932).
void WriteIniFile(const std::filesystem::path& path, const std::vector<std::string>& lines);

// Polls `condition` every `step` until it holds or `limit` passes.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit,
               std::chrono::milliseconds step = std::chrono::milliseconds(50));

struct ProcessEnd {
    bool ended = false;      // false: still running at the limit, then killed
    bool by_signal = false;  // ended by a signal it did not handle
    int exit_code = -1;      // valid when ended && !by_signal
    int signal = 0;          // valid when by_signal
    double seconds = 0;      // from the last signal sent (or the wait's start) to the end

    bool CleanExit() const { return ended && !by_signal && exit_code == 0; }
    std::string Describe() const;
};

class DiaryProcess {
public:
    struct Options {
        std::filesystem::path home;               // QUILLOMAT_HOME
        std::optional<std::string> test_devices;  // QUILLOMAT_TEST_DEVICES; nullopt: unset
        // Extra NAME=value entries. Without a QUILLOMAT_LANGUAGE entry the
        // program runs with QUILLOMAT_LANGUAGE=ja.
        std::vector<std::string> environment = {};
        // QUILLOMAT_TEST_DELAYS: the program's designed delays (run wait,
        // polls, recoveries, the 10 s retry) divided by this; 1 keeps them.
        // An entry of `environment` takes precedence.
        int delay_divisor = 10;
        std::vector<std::string> arguments = {"--headless"};
        // A command the program is run through (for example setpriv), found
        // on PATH; empty: the program itself.
        std::vector<std::string> launcher = {};
        // The folder it starts in; empty: the test's own.
        std::filesystem::path working_directory = {};
    };

    DiaryProcess() = default;
    ~DiaryProcess();  // a process still running is killed
    DiaryProcess(const DiaryProcess&) = delete;
    DiaryProcess& operator=(const DiaryProcess&) = delete;

    // Starts `quillomat` with the options' arguments; stdout and stderr go to files in `home`
    // named after the start count, so that restarts keep every output.
    bool Start(const Options& options);
    pid_t pid() const { return pid_; }

    // True while the process has not ended (reaps it when it has).
    bool Running();
    void Signal(int signal);
    // Waits for the end; past `limit` kills the process (SIGKILL) and reports
    // ended = false.
    ProcessEnd WaitForEnd(std::chrono::milliseconds limit);
    ProcessEnd StopWith(int signal, std::chrono::milliseconds limit) {
        Signal(signal);
        return WaitForEnd(limit);
    }
    // A crash or a power cut as the process sees it: SIGKILL, then reaped.
    void Kill();

    std::string Output() const;  // standard output of the current start
    std::string Errors() const;  // standard error of the current start
    // Lines of the output whose text (after "M/D hh:mm:ss - ") is `text`.
    int CountLogLines(const std::string& text) const;
    // Waits until `text` was logged `count` times; false at the limit or
    // when the process ended first.
    bool WaitForLogLine(const std::string& text, int count, std::chrono::milliseconds limit);

private:
    void Reap(int status);

    pid_t pid_ = -1;
    int starts_ = 0;
    std::filesystem::path stdout_path_;
    std::filesystem::path stderr_path_;
    std::chrono::steady_clock::time_point signalled_at_{};
    std::optional<ProcessEnd> end_;
};

// The text of the log lines in `output`, without their time stamps; lines
// that do not have the log line form are left out.
std::vector<std::string> LogTexts(const std::string& output);

// Local date folder name of now (YYYYMMDD).
std::string TodayFolderName();

// Every regular file under `root` (recursively) whose name ends in `suffix`.
std::vector<std::filesystem::path> FilesEndingIn(const std::filesystem::path& root,
                                                 const std::string& suffix);
// The JPEG names under `root`, as paths relative to it ("20260101/20260101120000.jpg").
std::set<std::string> PictureNames(const std::filesystem::path& root);

// The pictures a page refers to (href and src values ending in ".jpg"),
// resolved against the page's folder and made relative to `root`.
std::set<std::string> ListedPictures(const std::filesystem::path& page,
                                     const std::filesystem::path& root);

// What a reader of the diary in `root` may rely on at any moment, even after
// the writer was killed: every picture decodes completely; every page ends
// with its last line; every picture a page lists exists and decodes. Returns
// the broken things, empty when all hold.
std::vector<std::string> DiaryIntegrityProblems(const std::filesystem::path& root);

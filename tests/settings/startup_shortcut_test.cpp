#include "settings/startup_shortcut.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <thread>

#include "support/temp_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The Exec line of an entry taken apart as a desktop does: the string value
// escapes first, then the quoting, then "%%".
std::vector<std::string> ExecArguments(const std::string& entry) {
    std::istringstream lines(entry);
    std::string line, value;
    while (std::getline(lines, line)) {
        if (line.rfind("Exec=", 0) == 0) value = line.substr(5);
    }
    std::string unescaped;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char c = value[++i];
            unescaped += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
        } else {
            unescaped += value[i];
        }
    }
    std::vector<std::string> args;
    std::string current;
    bool in_word = false, quoted = false;
    for (std::size_t i = 0; i < unescaped.size(); ++i) {
        const char c = unescaped[i];
        if (quoted) {
            if (c == '\\' && i + 1 < unescaped.size() &&
                std::string_view("\"`$\\").find(unescaped[i + 1]) != std::string_view::npos) {
                current += unescaped[++i];
            } else if (c == '"') {
                quoted = false;
            } else {
                current += c;
            }
        } else if (c == ' ') {
            if (in_word) args.push_back(current);
            current.clear();
            in_word = false;
        } else {
            in_word = true;
            if (c == '"')
                quoted = true;
            else
                current += c;
        }
    }
    if (in_word) args.push_back(current);
    for (std::string& arg : args) {
        std::string out;
        for (std::size_t i = 0; i < arg.size(); ++i) {
            out += arg[i];
            if (arg[i] == '%' && i + 1 < arg.size() && arg[i + 1] == '%') ++i;
        }
        arg = out;
    }
    return args;
}

int RunProgram(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string RunAndRead(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
        ::pclose(pipe);
    }
    return out;
}

// A program standing in for the executable, in a folder whose name holds
// every character the quoting must protect; it writes down how it was
// started.
struct FakeProgram {
    FakeProgram() {
        folder = root.path() / "my apps $HOME `id` \"q\" 'a' 100% \\b ~;&|<>*?#()";
        fs::create_directories(folder);
        program = (folder / "quillomat").string();
        record = (root.path() / "started.txt").string();
        WriteFileBytes(program,
                       "#!/bin/sh\n{ printf 'home=%s\\n' \"$QUILLOMAT_HOME\"; "
                       "printf 'count=%s\\n' \"$#\"; for a in \"$@\"; do "
                       "printf 'arg=%s\\n' \"$a\"; done; } > '" +
                           record + ".part' && mv '" + record + ".part' '" + record + "'\n");
        fs::permissions(program, fs::perms::owner_all);
    }
    std::string Started() const { return ReadFileBytes(record); }

    TempDir root;
    fs::path folder;
    std::string program, record;
};

TEST(StartupShortcut, FolderFollowsTheBaseDirectoryRules) {
    EXPECT_EQ(StartupFolderFor("/srv/conf", "/home/u"), "/srv/conf/autostart");
    EXPECT_EQ(StartupFolderFor("/srv/conf/", "/home/u"), "/srv/conf/autostart");
    // A relative or empty XDG_CONFIG_HOME is invalid and ignored.
    EXPECT_EQ(StartupFolderFor("conf", "/home/u"), "/home/u/.config/autostart");
    EXPECT_EQ(StartupFolderFor("", "/home/u/"), "/home/u/.config/autostart");
    EXPECT_EQ(StartupFolderFor(nullptr, nullptr), "");
    EXPECT_EQ(StartupFolderFor(nullptr, ""), "");
}

TEST(StartupShortcut, EntryStartsTheProgramWithStartupAndTheSameHomeWhenADesktopRunsIt) {
    FakeProgram fake;
    TempDir autostart;
    const std::string entry = autostart.str() + kStartupShortcutName;
    const std::string home = (fake.root.path() / "diary home $x \\y %z").string();
    ASSERT_EQ(CreateShellLink(entry, StartupShellLink(fake.program, home.c_str())), 0);

    const std::vector<std::string> args = ExecArguments(ReadFileBytes(entry));
    ASSERT_EQ(args,
              (std::vector<std::string>{"env", "QUILLOMAT_HOME=" + home, fake.program, "startup"}));
    ASSERT_EQ(RunProgram(args), 0);
    EXPECT_EQ(fake.Started(), "home=" + home + "\ncount=1\narg=startup\n");

    // Without QUILLOMAT_HOME the program is run directly; a relative home is
    // made absolute, as the session starts the entry elsewhere.
    ASSERT_EQ(CreateShellLink(entry, StartupShellLink(fake.program, nullptr)), 0);
    EXPECT_EQ(ExecArguments(ReadFileBytes(entry)),
              (std::vector<std::string>{fake.program, "startup"}));
    EXPECT_EQ(StartupShellLink(fake.program, "rel").environment.at(0).second,
              (fs::current_path() / "rel").string());
}

TEST(StartupShortcut, DesktopToolsValidateAndLaunchTheEntry) {
    FakeProgram fake;
    TempDir autostart;
    const std::string entry = autostart.str() + kStartupShortcutName;
    const std::string home = (fake.root.path() / "キャム h o m e $1 \\2").string();
    ASSERT_EQ(CreateShellLink(entry, StartupShellLink(fake.program, home.c_str())), 0);
    if (std::string(QUILLOMAT_DESKTOP_FILE_VALIDATE).empty()) {
        std::puts("desktop-file-validate not installed: not validated");
    } else {
        EXPECT_EQ(RunAndRead(std::string(QUILLOMAT_DESKTOP_FILE_VALIDATE) + " '" + entry +
                             "' 2>&1; echo rc=$?"),
                  "rc=0\n")
            << ReadFileBytes(entry);
    }
    if (std::string(QUILLOMAT_GIO).empty()) GTEST_SKIP() << "gio not installed";
    ASSERT_EQ(RunProgram({QUILLOMAT_GIO, "launch", entry}), 0);
    // gio starts the program and returns; wait for its record, with a ceiling.
    for (int i = 0; i < 600 && !fs::exists(fake.record); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(fake.Started(), "home=" + home + "\ncount=1\narg=startup\n");
}

TEST(StartupShortcut, ReplacesAnEntryAndReportsWhatCannotBeWritten) {
    TempDir dir;
    const std::string entry = dir.str() + kStartupShortcutName;
    WriteFileBytes(entry, "[Desktop Entry]\nExec=old\n");
    ASSERT_EQ(CreateShellLink(entry, StartupShellLink("/usr/bin/quillomat", nullptr)), 0);
    EXPECT_EQ(ReadFileBytes(entry),
              "[Desktop Entry]\nType=Application\nName=Quillomat\n"
              "Exec=/usr/bin/quillomat startup\nTerminal=false\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    // A "folder" that is a file (no permission trick: tests may run as root).
    WriteFileBytes(dir.str() + "file", "x");
    EXPECT_EQ(CreateShellLink(dir.str() + "file/" + kStartupShortcutName,
                              StartupShellLink("/usr/bin/quillomat", nullptr)),
              ENOTDIR);
    EXPECT_EQ(CreateShellLink(dir.str() + "missing/" + kStartupShortcutName,
                              StartupShellLink("/usr/bin/quillomat", nullptr)),
              ENOENT);
    // A control character cannot be put on an Exec line; nothing is written.
    EXPECT_EQ(CreateShellLink(entry, StartupShellLink("/opt/a\x01"
                                                      "b/quillomat",
                                                      nullptr)),
              EINVAL);
    EXPECT_NE(ReadFileBytes(entry).find("Exec=/usr/bin/quillomat startup\n"), std::string::npos);
}

}  // namespace

#include "settings/startup_shortcut.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/atomic_file.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// The escapes of a string value, applied after the quoting ones.
void AppendStringEscaped(std::string& out, char c) {
    switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
    }
}

}  // namespace

std::string StartupFolderFor(const char* xdg_config_home, const char* home) {
    if (xdg_config_home != nullptr && xdg_config_home[0] == '/') {
        std::string folder = xdg_config_home;
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        return folder == "/" ? "/autostart" : folder + "/autostart";
    }
    if (home != nullptr && *home != '\0') {
        std::string folder = home;
        while (!folder.empty() && folder.back() == '/') folder.pop_back();
        return folder + "/.config/autostart";
    }
    return {};
}

std::string GetStartupFolder() {
    const std::string folder =
        StartupFolderFor(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
    if (!folder.empty()) {
        // A failure shows when the entry is written.
        std::error_code ec;
        fs::create_directories(folder, ec);
    }
    return folder;
}

std::string RunningExecutablePath() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

bool QuoteExecArgument(const std::string& argument, std::string& quoted) {
    bool needs_quotes = argument.empty();
    for (char c : argument) {
        if (c != '\t' && c != '\n' && c != '\r' && IsControl(static_cast<unsigned char>(c)))
            return false;
        if (c == '\r' || kReserved.find(c) != std::string_view::npos) needs_quotes = true;
    }
    quoted.clear();
    if (needs_quotes) quoted += '"';
    for (char c : argument) {
        if (c == '%') {
            quoted += "%%";
            continue;
        }
        if (needs_quotes && (c == '"' || c == '`' || c == '$' || c == '\\'))
            AppendStringEscaped(quoted, '\\');
        AppendStringEscaped(quoted, c);
    }
    if (needs_quotes) quoted += '"';
    return true;
}

bool ShellLinkText(const ShellLink& link, std::string& text) {
    std::vector<std::string> words;
    if (!link.environment.empty()) {
        words.emplace_back("env");
        for (const auto& [name, value] : link.environment) words.push_back(name + "=" + value);
    }
    words.push_back(link.target);
    words.insert(words.end(), link.arguments.begin(), link.arguments.end());
    std::string exec;
    for (const std::string& word : words) {
        std::string quoted;
        if (!QuoteExecArgument(word, quoted)) return false;
        if (!exec.empty()) exec += ' ';
        exec += quoted;
    }
    text = "[Desktop Entry]\nType=Application\nName=Quillomat\n";
    auto line = [&](const char* key, const std::string& value) {
        std::string escaped;
        for (char c : value) {
            if (IsControl(static_cast<unsigned char>(c)) && c != '\t' && c != '\n' && c != '\r')
                return false;
            AppendStringEscaped(escaped, c);
        }
        text += key;
        text += '=';
        text += escaped;
        text += '\n';
        return true;
    };
    if (!link.description.empty() && !line("Comment", link.description)) return false;
    text += "Exec=" + exec + "\n";
    if (!link.working_directory.empty() && !line("Path", link.working_directory)) return false;
    text += "Terminal=false\n";
    return true;
}

int CreateShellLink(const std::string& link_path, const ShellLink& link) {
    std::string text;
    if (!ShellLinkText(link, text)) return EINVAL;
    errno = 0;
    AtomicFile file(link_path);
    if (file.Stream() == nullptr) return errno != 0 ? errno : EIO;
    if (std::fwrite(text.data(), 1, text.size(), file.Stream()) != text.size())
        return errno != 0 ? errno : EIO;
    errno = 0;
    if (!file.Commit()) return errno != 0 ? errno : EIO;
    return 0;
}

ShellLink StartupShellLink(const std::string& executable, const char* quillomat_home) {
    ShellLink link;
    link.target = executable;
    link.arguments = {"startup"};
    if (quillomat_home != nullptr && *quillomat_home != '\0') {
        // The session starts the entry in another folder than this one.
        std::error_code ec;
        const fs::path absolute = fs::absolute(quillomat_home, ec);
        link.environment.emplace_back("QUILLOMAT_HOME", ec ? quillomat_home : absolute.string());
    }
    return link;
}

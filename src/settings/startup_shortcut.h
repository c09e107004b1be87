#pragma once

#include <string>
#include <utility>
#include <vector>

// The start-up shortcut of the application settings dialog, as a desktop
// session knows it: an XDG autostart entry, which every session runs at
// log-in.

inline constexpr const char* kStartupShortcutName = "Quillomat.desktop";

// The user's autostart folder without a trailing "/": $XDG_CONFIG_HOME/autostart
// (an absolute value only, as the base directory rules require), else
// $HOME/.config/autostart; empty when neither is known. Arguments may be null.
std::string StartupFolderFor(const char* xdg_config_home, const char* home);

// The same from the environment; the folder is made when missing.
std::string GetStartupFolder();

// The full path of the running executable; empty when unknown.
std::string RunningExecutablePath();

// One argument of an Exec line: quoted when it holds a reserved character,
// with the quoting escapes, then with the escapes of a string value (so a
// backslash in a quoted argument is written as four). "%" becomes "%%".
// False for a control character other than tab, line feed and carriage
// return, which an Exec line cannot hold.
bool QuoteExecArgument(const std::string& argument, std::string& quoted);

struct ShellLink {
    std::string target;
    std::vector<std::string> arguments;
    // Set for the started program only, through env(1).
    std::vector<std::pair<std::string, std::string>> environment;
    std::string description;
    std::string working_directory;
};

// The entry's text (UTF-8, LF line ends); false when an argument cannot be
// written on an Exec line.
bool ShellLinkText(const ShellLink& link, std::string& text);

// Writes the entry at `link_path`, replacing one of that name in one step.
// 0, or the system error number of the step that failed.
int CreateShellLink(const std::string& link_path, const ShellLink& link);

// What the dialog's "ショートカット作成" writes: `executable` with the single
// argument "startup", and QUILLOMAT_HOME (made absolute) when it is set, so
// that the started copy finds the same settings.
ShellLink StartupShellLink(const std::string& executable, const char* quillomat_home);

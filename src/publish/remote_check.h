#pragma once

#include <string>
#include <vector>

// The check behind the settings tab's test button: rclone lists the
// remote's folder, with short time-outs, and the tab shows what it answered.

// The command (the remote after "--", so that no value reads as an option).
std::vector<std::string> RemoteCheckArguments(const std::string& remote,
                                              const std::string& rclone_config);
// The text shown for the check's end: `exit_code` of rclone (-1: it did not
// run or was ended), what it printed, with the remote's secrets masked.
std::string DescribeRemoteCheck(int exit_code, const std::string& output, const std::string& errors,
                                const std::string& remote);

// How the designed texts begin (translated in context "RemoteCheck").
inline constexpr const char* kCheckReachedLine = "接続できました。";
inline constexpr const char* kCheckNoFolderLine =
    "接続できました。フォルダはまだありません（最初の送信で作られます）。";
inline constexpr const char* kCheckFailedLine = "接続できませんでした";

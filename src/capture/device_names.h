#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Repeated names become "%s (%d)" with their occurrence number, in list
// order: Cam, Cam, Pro -> Cam (1), Cam (2), Pro.
std::vector<std::string> DeduplicateDeviceNames(const std::vector<std::string>& names);

// "Quillomat - %s (%dx%d)"; a device name longer than 12 CP932 bytes is cut
// to at most 12 (never half a character) and followed by "...".
std::string FormatCaptureTitle(const std::string& device_name, std::int32_t width,
                               std::int32_t height);

inline constexpr const char* kNoVideoDeviceMessage = "映像入力デバイスが見つかりませんでした";
inline constexpr const char* kGraphFailedPrompt =
    "DirectShowの初期化に失敗しました。\nアプリケーションを終了しますか";

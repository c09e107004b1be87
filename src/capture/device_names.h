#pragma once

#include <QtGlobal>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Repeated names become "%s (%d)" with their occurrence number, in list
// order: Cam, Cam, Pro -> Cam (1), Cam (2), Pro.
std::vector<std::string> DeduplicateDeviceNames(const std::vector<std::string>& names);

// A video source as the machine lists it: its device node ("/dev/video0";
// empty when unknown) and display name.
struct DeviceIdentity {
    std::string path;
    std::string name;
};

// Positions of the sources to list: a node that several providers list (V4L2
// and PipeWire) once, as first listed; ordered by node, numbers compared as
// numbers, then by name, so that the order is the same at every start.
std::vector<std::size_t> ListEachDeviceOnce(const std::vector<DeviceIdentity>& devices);

// "Quillomat - %s (%dx%d)"; a device name longer than 12 CP932 bytes is cut
// to at most 12 (never half a character) and followed by "...".
std::string FormatCaptureTitle(const std::string& device_name, std::int32_t width,
                               std::int32_t height);

// As designed; the functions give them in the interface's language.
inline constexpr const char* kNoVideoDeviceMessage =
    QT_TRANSLATE_NOOP("CaptureGraph", "映像入力デバイスが見つかりませんでした");
inline constexpr const char* kGraphFailedPrompt = QT_TRANSLATE_NOOP(
    "CaptureGraph", "DirectShowの初期化に失敗しました。\nアプリケーションを終了しますか");
std::string NoVideoDeviceMessage();
std::string GraphFailedPrompt();

// An http://, https:// or rtsp:// address (case-insensitive scheme): a
// network camera rather than a device of the machine.
bool IsNetworkAddress(const std::string& name);

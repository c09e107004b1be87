#include "app/camera_log_lines.h"

#include <memory>

void CameraLogLines::Handle(const DiaryEvent& event, const StopSignal&) {
    if (const auto* gone = std::get_if<CameraGone>(&event)) {
        post_line_(CameraEventLine(*gone));
    } else if (const auto* back = std::get_if<CameraBack>(&event)) {
        post_line_(CameraEventLine(*back));
    }
}

void RegisterCameraLogLines(const DiaryJobContext& context) {
    context.events.Subscribe(std::make_shared<CameraLogLines>(context));
}

#pragma once

#include <QFont>
#include <ctime>

#include "diary/time_format.h"

struct DiarySettings;
class DrawingSurface;

// Maps the Windows Japanese faces a Windows user's settings name to their
// metric-compatible IPA faces, so that a picture looks the same on every
// machine. Idempotent; TimeTextFont installs them on first use, an owner that
// shows fonts on another thread calls it before starting the worker.
void InstallJapaneseFontSubstitutes();

// The font of the time text as the settings describe it: FONT_SIZE as the
// cell height in pixels, face name cut to 31 CP932 bytes. Made anew for every
// picture.
QFont TimeTextFont(const DiarySettings& settings);

// Draws the shadow (when on) and then the time text into the surface, upright
// in the picture although the rows are stored bottom-up. Needs the
// QGuiApplication; without one it draws nothing.
void DrawTimeText(DrawingSurface& surface, const std::tm& capture_time,
                  const DiarySettings& settings);

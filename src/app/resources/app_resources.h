#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The program's artwork, by name.

// The program's icon in every size it is drawn in.
QIcon AppIcon();

// An image button's icon: snapshot, device_change, device_settings,
// device_properties, capture_settings (each with a lit "_hover" twin), on_air
// and off_air; a null icon for any other name.
QIcon ButtonIcon(const QString& name);

// The main window's side band.
QPixmap SideBandBitmap();
// The preview before the first frame, and the picture of the version
// information dialog.
QPixmap PreviewPlaceholderBitmap();

#pragma once

#include <QIcon>
#include <QPixmap>

// The artwork by the resource numbers the windows use.

// Resource 128 in every size it is drawn in.
QIcon AppIcon();

// The image buttons' icons 162 to 177; a null icon for a number without one.
QIcon ButtonIcon(int resource_id);

// Bitmap 144 (the main window's side band) and 147 (the preview before the
// first frame, and the picture of the version information dialog); a null
// pixmap for any other number.
QPixmap ResourceBitmap(int resource_id);

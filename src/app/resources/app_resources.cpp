#include "app/resources/app_resources.h"

#include <QFile>
#include <QString>

// The resources live in a static library: nothing would pull them into the
// program unless they are registered from code that is linked in anyway.
// Q_INIT_RESOURCE declares its function where it is used: not in a namespace.
static void EnsureRegistered() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(quillomat);
        return true;
    }();
    (void)registered;
}

QIcon AppIcon() {
    EnsureRegistered();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/quillomat/app/quillomat-%1.png").arg(size),
                     QSize(size, size));
    }
    return icon;
}

QIcon ButtonIcon(const QString& name) {
    EnsureRegistered();
    const QString path = QStringLiteral(":/quillomat/buttons/%1.png").arg(name);
    if (!QFile::exists(path)) return {};
    return QIcon(path);
}

QPixmap SideBandBitmap() {
    EnsureRegistered();
    return QPixmap(QStringLiteral(":/quillomat/bitmaps/side_band.png"));
}

QPixmap PreviewPlaceholderBitmap() {
    EnsureRegistered();
    return QPixmap(QStringLiteral(":/quillomat/bitmaps/preview_placeholder.png"));
}

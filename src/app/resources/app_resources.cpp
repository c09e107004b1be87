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
        icon.addFile(QStringLiteral(":/quillomat/icons/128-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

QIcon ButtonIcon(int resource_id) {
    EnsureRegistered();
    const QString path = QStringLiteral(":/quillomat/icons/%1.png").arg(resource_id);
    if (!QFile::exists(path)) return {};
    return QIcon(path);
}

QPixmap ResourceBitmap(int resource_id) {
    EnsureRegistered();
    if (resource_id != 144 && resource_id != 147) return {};
    return QPixmap(QStringLiteral(":/quillomat/bitmaps/%1.png").arg(resource_id));
}

#include "app/about_dialog.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/resources/app_resources.h"
#include "app/version.h"
#include "controls/dialog_units.h"

namespace {

// The free lower part of the placeholder picture, where the text goes.
constexpr int kTextTop = 136;

}  // namespace

CAboutDialog::CAboutDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), bitmap_(PreviewPlaceholderBitmap()) {
    setWindowTitle(tr("Quillomat - バージョン情報"));
    // The stock GUI font of a Japanese desktop.
    setFont(DialogFont(QStringLiteral("MS UI Gothic"), 9));
    setFixedSize(DialogUnits(font()).Size(183, 160));
    setAccessibleName(windowTitle());
    setAccessibleDescription(AboutText());
    setWindowIcon(AppIcon());
}

QString CAboutDialog::AboutText() {
    return tr("Quillomat バージョン %1\n"
              "Webカメラの写真日記\n"
              "\n"
              "クリックすると閉じます")
        .arg(QStringLiteral(QUILLOMAT_VERSION));
}

void CAboutDialog::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.drawPixmap((width() - bitmap_.width()) / 2, 0, bitmap_);
    painter.setPen(QColor(0x0d, 0x2f, 0x57));
    painter.setFont(font());
    painter.drawText(QRect(0, kTextTop, width(), height() - kTextTop),
                     Qt::AlignHCenter | Qt::AlignTop, AboutText());
    painter.setPen(QColor(0x1a, 0x5e, 0xa8));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CAboutDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        accept();
        return;
    }
    QDialog::mouseReleaseEvent(event);
}

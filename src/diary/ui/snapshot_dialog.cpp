#include "diary/ui/snapshot_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <algorithm>

#include "controls/dialog_units.h"

namespace {

constexpr int kMaxPictureWidth = 640;
constexpr int kMaxPictureHeight = 480;
constexpr int kExtraWidth = 30;
constexpr int kExtraHeight = 90;
constexpr int kMargin = 15;
// Without a picture: the size a 320 x 240 picture gives.
constexpr int kEmptyPictureWidth = 320;
constexpr int kEmptyPictureHeight = 240;

}  // namespace

CSnapshotDialog::CSnapshotDialog(const std::string& stem, const std::string& bitmap_path,
                                 QWidget* parent, SaveFileRunner run_save_dialog)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      stem_(stem),
      run_save_dialog_(run_save_dialog ? std::move(run_save_dialog) : RunSaveFileDialog),
      picture_(new QLabel(this)),
      save_(new QPushButton(tr("保存"), this)),
      cancel_(new QPushButton(tr("キャンセル"), this)) {
    setWindowTitle(tr("Quillomat - スナップショット"));
    setFont(DialogFont(QStringLiteral("MS UI Gothic"), 9));
    picture_->setObjectName(QStringLiteral("picture"));
    picture_->setAccessibleName(tr("スナップショット"));
    picture_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    QSize shown(kEmptyPictureWidth, kEmptyPictureHeight);
    QImage image;
    if (image.load(QString::fromStdString(bitmap_path), "BMP")) {
        picture_->setPixmap(QPixmap::fromImage(image));
        shown = QSize(std::min(image.width(), kMaxPictureWidth),
                      std::min(image.height(), kMaxPictureHeight));
    }
    // Unscaled: the label shows the picture's top-left part.
    picture_->setGeometry(kMargin, kMargin, shown.width(), shown.height());
    const QSize size(shown.width() + kExtraWidth, shown.height() + kExtraHeight);
    setFixedSize(size);

    const DialogUnits units(font());
    const QSize button = units.Size(50, 14);
    const int gap = units.X(4);
    const int y = kMargin + shown.height() + (kExtraHeight - kMargin - button.height()) / 2;
    const int x = std::max(4, size.width() - kMargin - 2 * button.width() - gap);
    save_->setGeometry(x, y, button.width(), button.height());
    cancel_->setGeometry(x + button.width() + gap, y, button.width(), button.height());
    save_->setDefault(true);
    save_->setFocus();

    connect(save_, &QPushButton::clicked, this, &CSnapshotDialog::Save);
    connect(cancel_, &QPushButton::clicked, this, &CSnapshotDialog::reject);
}

void CSnapshotDialog::PrepareSaveFileDialog(QFileDialog& dialog, const QString& stem) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("jpg"));
    dialog.setNameFilters({tr("JPEGファイル(*.jpg)"), tr("全て(*.*)")});
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.selectFile(stem + QStringLiteral(".jpg"));
}

QString CSnapshotDialog::RunSaveFileDialog(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.front();
}

void CSnapshotDialog::Save() {
    const QString current = QDir::currentPath();
    QFileDialog dialog(this);
    PrepareSaveFileDialog(dialog, QString::fromStdString(stem_));
    const QString path = run_save_dialog_(dialog);
    QDir::setCurrent(current);
    // A cancelled file dialog returns here, where the user may still save
    // or discard.
    if (path.isEmpty()) return;
    chosen_path_ = path.toStdString();
    accept();
}

void CSnapshotDialog::reject() {
    chosen_path_.clear();
    QDialog::reject();
}

std::string QtSnapshotView::ChooseSnapshotPath(const std::string& bitmap_path,
                                               const std::string& stem) {
    CSnapshotDialog dialog(stem, bitmap_path, parent_, run_save_dialog_);
    dialog.exec();
    return dialog.ChosenPath();
}

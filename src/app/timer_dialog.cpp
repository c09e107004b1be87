#include "app/timer_dialog.h"

#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimerEvent>

#include "controls/dialog_units.h"

CTimerDialog::CTimerDialog(int seconds, QWidget* parent, int tick_ms)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      remaining_seconds_(seconds),
      tick_ms_(tick_ms),
      countdown_(new QLineEdit(this)),
      start_now_(new QPushButton(tr("今すぐ起動"), this)),
      hide_(new QPushButton(tr("非表示"), this)),
      do_not_start_(new QPushButton(tr("起動しない"), this)) {
    setWindowTitle(tr("Quillomat 起動タイマー"));
    setFont(DialogFont(QStringLiteral("MS Shell Dlg"), 8));
    const DialogUnits units(font());
    setFixedSize(units.Size(168, 46));

    countdown_->setObjectName(QStringLiteral("countdown"));
    countdown_->setReadOnly(true);
    countdown_->setAlignment(Qt::AlignCenter);
    countdown_->setGeometry(units.Rect(7, 7, 154, 14));
    countdown_->setAccessibleName(tr("起動タイマー"));
    start_now_->setGeometry(units.Rect(7, 25, 50, 14));
    hide_->setGeometry(units.Rect(59, 25, 50, 14));
    do_not_start_->setGeometry(units.Rect(111, 25, 50, 14));
    start_now_->setDefault(true);
    start_now_->setFocus();

    connect(start_now_, &QPushButton::clicked, this, &QDialog::accept);
    connect(hide_, &QPushButton::clicked, this, &QWidget::hide);
    connect(do_not_start_, &QPushButton::clicked, this, &QDialog::reject);
}

int CTimerDialog::exec() {
    setResult(QDialog::Rejected);
    setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    timer_id_ = startTimer(tick_ms_);
    show();
    loop.exec(QEventLoop::DialogExec);
    killTimer(timer_id_);
    timer_id_ = 0;
    return result();
}

void CTimerDialog::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_id_) {
        QDialog::timerEvent(event);
        return;
    }
    if (remaining_seconds_ <= 0) {
        accept();
        return;
    }
    countdown_text_ = tr("%n秒後にQuillomatを起動します", nullptr, remaining_seconds_);
    countdown_->setText(countdown_text_);
    --remaining_seconds_;
}

#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

// "Quillomat 起動タイマー": counts down the start-up delay once a tick (one
// second unless a test asks for less). Ends with OK when the countdown is
// over or on "今すぐ起動"; with cancel on "起動しない", Escape or the close box.
// "非表示" hides it while the countdown goes on.
class CTimerDialog : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(CTimerDialog)

public:
    static constexpr int kTickMs = 1000;

    explicit CTimerDialog(int seconds, QWidget* parent = nullptr, int tick_ms = kTickMs);

    // Modal until the dialog ends; unlike QDialog::exec(), hiding it does not
    // end it.
    int exec() override;

    int RemainingSeconds() const { return remaining_seconds_; }
    const QString& CountdownText() const { return countdown_text_; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    int remaining_seconds_;
    int tick_ms_;
    int timer_id_ = 0;
    QString countdown_text_;
    QLineEdit* countdown_;
    QPushButton* start_now_;
    QPushButton* hide_;
    QPushButton* do_not_start_;
};

#pragma once

#include <QString>
#include <QWidget>
#include <ctime>
#include <optional>
#include <vector>

#include "schedule/recording_hours.h"

// One local day as the schedule tab draws it: a bar from its midnight to the
// next (23 or 25 hours on a summer-time change), the spans that record
// filled, and the sun when a place is known.
struct ScheduleDayBar {
    QString caption;  // "今日", "明日"
    int year = 0;
    int month = 0;  // 1-12
    int day = 0;
    std::time_t begin = 0;
    std::time_t end = 0;
    std::vector<RecordingSpan> spans;
    std::optional<SunDay> sun;
    // 00:00, 06:00, 12:00, 18:00 and 24:00 of that day's clock.
    std::vector<std::time_t> hour_marks;
};

// The bars of the schedule tab, one under the other, with the hour marks
// under the last and a line at "now" in the bar that holds it.
class ScheduleBars final : public QWidget {
public:
    explicit ScheduleBars(QWidget* parent = nullptr);

    void SetDays(std::vector<ScheduleDayBar> days, std::time_t now);
    const std::vector<ScheduleDayBar>& Days() const { return days_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int CaptionWidth() const;
    int RowHeight() const;

    std::vector<ScheduleDayBar> days_;
    std::time_t now_ = 0;
};

// The local day of (year, month 1-12, day) with its midnights and hour marks;
// a day past the month's last is normalised (March 32 is April 1).
ScheduleDayBar LocalDayBar(int year, int month, int day);

// "07:00": the local clock time of `t`, to the minute.
QString ClockText(std::time_t t);

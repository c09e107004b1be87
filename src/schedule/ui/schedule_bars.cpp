#include "schedule/ui/schedule_bars.h"

#include <QPainter>
#include <QPolygon>
#include <algorithm>

#include "schedule/ui/schedule_page.h"

namespace {

constexpr int kBarHeight = 16;
constexpr int kGap = 5;
constexpr int kTick = 3;
constexpr int kLabelSpace = 6;

std::time_t LocalClock(int year, int month, int day, int hour, std::tm* normalised = nullptr) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_isdst = -1;
    const std::time_t at = std::mktime(&t);
    if (normalised) *normalised = t;
    return at;
}

}  // namespace

ScheduleDayBar LocalDayBar(int year, int month, int day) {
    ScheduleDayBar bar;
    std::tm t{};
    bar.begin = LocalClock(year, month, day, 0, &t);
    bar.year = t.tm_year + 1900;
    bar.month = t.tm_mon + 1;
    bar.day = t.tm_mday;
    bar.end = LocalClock(bar.year, bar.month, bar.day + 1, 0);
    bar.hour_marks.push_back(bar.begin);
    for (const int hour : {6, 12, 18})
        bar.hour_marks.push_back(LocalClock(bar.year, bar.month, bar.day, hour));
    bar.hour_marks.push_back(bar.end);
    return bar;
}

QString ClockText(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return QStringLiteral("%1:%2")
        .arg(local.tm_hour, 2, 10, QLatin1Char('0'))
        .arg(local.tm_min, 2, 10, QLatin1Char('0'));
}

ScheduleBars::ScheduleBars(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ScheduleBars::SetDays(std::vector<ScheduleDayBar> days, std::time_t now) {
    days_ = std::move(days);
    now_ = now;
    updateGeometry();
    update();
}

int ScheduleBars::CaptionWidth() const {
    int width = 0;
    for (const ScheduleDayBar& day : days_)
        width = std::max(width, fontMetrics().horizontalAdvance(day.caption));
    return width + 8;
}

int ScheduleBars::RowHeight() const { return fontMetrics().height() + kGap + kBarHeight + kTick; }

QSize ScheduleBars::sizeHint() const {
    const int rows = std::max<int>(2, static_cast<int>(days_.size()));
    return {CaptionWidth() + fontMetrics().averageCharWidth() * 60,
            rows * RowHeight() + fontMetrics().height()};
}

QSize ScheduleBars::minimumSizeHint() const {
    return {CaptionWidth() + fontMetrics().averageCharWidth() * 30, sizeHint().height()};
}

void ScheduleBars::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    const QPalette& colours = palette();
    const int left = CaptionWidth();
    // Room for half of "24" centred on the bar's end.
    const int right = width() - 1 - metrics.horizontalAdvance(QStringLiteral("24")) / 2 - 1;
    const int bar_width = std::max(1, right - left);
    const QColor sun_colour(0xd0, 0x70, 0x00);

    for (std::size_t row = 0; row < days_.size(); ++row) {
        const ScheduleDayBar& day = days_[row];
        const double length = static_cast<double>(std::max<std::time_t>(1, day.end - day.begin));
        const auto x = [&](std::time_t t) {
            const double part = std::clamp(static_cast<double>(t - day.begin) / length, 0.0, 1.0);
            return left + static_cast<int>(part * bar_width + 0.5);
        };
        const int top = static_cast<int>(row) * RowHeight();
        const int bar_top = top + metrics.height() + kGap;
        const QRect bar(left, bar_top, bar_width, kBarHeight);

        painter.setPen(colours.color(QPalette::WindowText));
        painter.drawText(QRect(0, bar_top, left, kBarHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         day.caption);

        painter.fillRect(bar, colours.base());
        for (const RecordingSpan& span : day.spans) {
            const int from = x(span.begin);
            painter.fillRect(QRect(from, bar_top, std::max(1, x(span.end) - from), kBarHeight),
                             colours.highlight());
        }
        painter.setPen(colours.color(QPalette::Mid));
        for (std::size_t i = 1; i + 1 < day.hour_marks.size(); ++i) {
            const int at = x(day.hour_marks[i]);
            painter.drawLine(at, bar_top + 1, at, bar_top + kBarHeight - 1);
        }
        painter.setPen(colours.color(QPalette::Dark));
        painter.drawRect(bar);
        for (const std::time_t mark : day.hour_marks) {
            const int at = x(mark);
            painter.drawLine(at, bar_top + kBarHeight, at, bar_top + kBarHeight + kTick);
        }

        if (now_ >= day.begin && now_ < day.end) {
            const int at = x(now_);
            painter.setPen(QPen(colours.color(QPalette::WindowText), 2));
            painter.drawLine(at, bar_top - kGap, at, bar_top + kBarHeight + kGap);
        }

        if (!day.sun) continue;
        painter.setPen(sun_colour);
        const QRect band(left, top, bar_width, metrics.height());
        if (day.sun->kind == SunDay::Kind::kPolarDay) {
            painter.drawText(band, Qt::AlignCenter, SchedulePage::tr("一日中日が沈みません"));
            continue;
        }
        if (day.sun->kind == SunDay::Kind::kPolarNight) {
            painter.drawText(band, Qt::AlignCenter, SchedulePage::tr("一日中日が昇りません"));
            continue;
        }
        const std::time_t rise = day.begin + day.sun->sunrise_s;
        const std::time_t set = day.begin + day.sun->sunset_s;
        const QString rise_text = SchedulePage::tr("日の出 %1").arg(ClockText(rise));
        const QString set_text = SchedulePage::tr("日の入 %1").arg(ClockText(set));
        // Each label centred over its mark, kept inside the bar's width and
        // apart from the other.
        const int rise_width = metrics.horizontalAdvance(rise_text);
        const int set_width = metrics.horizontalAdvance(set_text);
        int rise_left = std::clamp(x(rise) - rise_width / 2, left, right - rise_width);
        int set_left = std::clamp(x(set) - set_width / 2, left, right - set_width);
        if (rise_left + rise_width + kLabelSpace > set_left) {
            set_left = std::min(rise_left + rise_width + kLabelSpace, right - set_width);
            rise_left = std::max(left, set_left - kLabelSpace - rise_width);
        }
        painter.drawText(QPoint(rise_left, top + metrics.ascent()), rise_text);
        painter.drawText(QPoint(set_left, top + metrics.ascent()), set_text);
        painter.setBrush(sun_colour);
        painter.setPen(Qt::NoPen);
        for (const std::time_t t : {rise, set}) {
            const int at = x(t);
            painter.drawPolygon(QPolygon({QPoint(at - 4, bar_top - 5), QPoint(at + 4, bar_top - 5),
                                          QPoint(at, bar_top + 1)}));
        }
        painter.setBrush(Qt::NoBrush);
    }

    if (days_.empty()) return;
    const ScheduleDayBar& last = days_.back();
    const double length = static_cast<double>(std::max<std::time_t>(1, last.end - last.begin));
    const int labels_top = static_cast<int>(days_.size()) * RowHeight();
    painter.setPen(colours.color(QPalette::WindowText));
    static constexpr int kHours[] = {0, 6, 12, 18, 24};
    for (std::size_t i = 0; i < last.hour_marks.size() && i < std::size(kHours); ++i) {
        const double part = static_cast<double>(last.hour_marks[i] - last.begin) / length;
        const int at = left + static_cast<int>(part * bar_width + 0.5);
        const QString text = QString::number(kHours[i]);
        const int text_width = metrics.horizontalAdvance(text);
        painter.drawText(QPoint(at - text_width / 2, labels_top + metrics.ascent()), text);
    }
}

#include "schedule/ui/schedule_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <ctime>

#include "controls/spin_edit.h"
#include "platform/clock.h"
#include "platform/prompts.h"
#include "schedule/ui/schedule_bars.h"
#include "settings/diary_settings.h"
#include "settings/ui/data_exchange.h"

namespace {

using S = ScheduleSettings;

constexpr std::int32_t kMaxBrightness = 255;
constexpr int kRefreshMs = 20000;

struct WeekdayKey {
    const char* key;
    std::optional<std::string> S::*field;
    const char* name;
};
constexpr std::array<WeekdayKey, 7> kWeekdays = {{
    {"MON", &S::MON, QT_TRANSLATE_NOOP("SchedulePage", "月")},
    {"TUE", &S::TUE, QT_TRANSLATE_NOOP("SchedulePage", "火")},
    {"WED", &S::WED, QT_TRANSLATE_NOOP("SchedulePage", "水")},
    {"THU", &S::THU, QT_TRANSLATE_NOOP("SchedulePage", "木")},
    {"FRI", &S::FRI, QT_TRANSLATE_NOOP("SchedulePage", "金")},
    {"SAT", &S::SAT, QT_TRANSLATE_NOOP("SchedulePage", "土")},
    {"SUN", &S::SUN, QT_TRANSLATE_NOOP("SchedulePage", "日")},
}};

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A label's text as a screen reader should say it: no mnemonic, no colon.
QString Spoken(QString text) {
    text.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    text = text.trimmed();
    while (text.endsWith(QLatin1Char(':')) || text.endsWith(QChar(0xFF1A))) text.chop(1);
    return text.trimmed();
}

std::tm LocalOf(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return local;
}

bool SameDay(const std::tm& a, const std::tm& b) {
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday;
}

// "07:00-19:00, 21:00-24:00" for a screen reader.
QString SpansText(const ScheduleDayBar& day) {
    QStringList parts;
    for (const RecordingSpan& span : day.spans) {
        parts << ClockText(span.begin) + QLatin1Char('-') +
                     (span.end >= day.end ? QStringLiteral("24:00") : ClockText(span.end));
    }
    return parts.isEmpty() ? SchedulePage::tr("記録しない") : parts.join(QStringLiteral(", "));
}

}  // namespace

SchedulePage::SchedulePage(Prompts& prompts, Clock& clock, QWidget* parent)
    : SettingsPage(parent), prompts_(prompts), clock_(clock) {
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    const auto caption = [&](const QString& text, QWidget* field) {
        auto* label = new QLabel(text, this);
        label->setBuddy(field);
        field->setAccessibleName(Spoken(text));
        return label;
    };
    const auto edit = [&](const char* key, const QString& placeholder) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(key));
        e->setPlaceholderText(placeholder);
        connect(e, &QLineEdit::textChanged, this, [this] { Refresh(); });
        return e;
    };
    const auto check = [&](const char* key, const QString& text) {
        auto* box = new QCheckBox(text, this);
        box->setObjectName(QString::fromLatin1(key));
        box->setAccessibleName(Spoken(text));
        return box;
    };

    hours_ = edit("HOURS", QStringLiteral("07:00-19:00"));
    form->addRow(caption(tr("録画する時間(&H):"), hours_), hours_);
    mode_ = new QComboBox(this);
    mode_->setObjectName(QStringLiteral("MODE"));
    mode_->addItem(tr("時間内に記録する"), QStringLiteral("during"));
    mode_->addItem(tr("時間外に記録する"), QStringLiteral("outside"));
    connect(mode_, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
    form->addRow(caption(tr("時間内/時間外(&O):"), mode_), mode_);

    auto* days = new QGroupBox(tr("曜日ごと"), this);
    auto* grid = new QGridLayout(days);
    // Two columns of days, Monday to Thursday and Friday to Sunday.
    constexpr int kDaysPerColumn = 4;
    grid->setColumnMinimumWidth(3, fontMetrics().averageCharWidth() * 2);
    grid->setColumnStretch(2, 1);
    grid->setColumnStretch(6, 1);
    for (std::size_t i = 0; i < kWeekdays.size(); ++i) {
        Weekday& day = weekdays_[i];
        const QString name = tr(kWeekdays[i].name);
        day.hours = edit(kWeekdays[i].key, QString());
        day.hours->setAccessibleName(name + QStringLiteral(": ") + Spoken(tr("録画する時間(&H):")));
        day.own = new QCheckBox(tr("個別に設定"), days);
        day.own->setObjectName(QString::fromLatin1(kWeekdays[i].key) + QStringLiteral("_own"));
        day.own->setAccessibleName(name + QStringLiteral(": ") + day.own->text());
        connect(day.own, &QCheckBox::toggled, this, [this, &day](bool own) {
            day.hours->setEnabled(own);
            Refresh();
        });
        const int row = static_cast<int>(i) % kDaysPerColumn;
        const int column = static_cast<int>(i) / kDaysPerColumn * 4;
        grid->addWidget(new QLabel(name, days), row, column);
        grid->addWidget(day.own, row, column + 1);
        grid->addWidget(day.hours, row, column + 2);
    }
    form->addRow(days);

    auto* place_row = new QHBoxLayout;
    latitude_ = edit("LATITUDE", QString());
    longitude_ = edit("LONGITUDE", QString());
    // Room for "-123.45678" and the frame, whatever the font.
    const int degrees_width = fontMetrics().horizontalAdvance(QStringLiteral("-000.000000")) + 16;
    latitude_->setFixedWidth(degrees_width);
    longitude_->setFixedWidth(degrees_width);
    place_row->addWidget(latitude_);
    place_row->addSpacing(fontMetrics().averageCharWidth() * 2);
    place_row->addWidget(caption(tr("経度(&G):"), longitude_));
    place_row->addWidget(longitude_);
    place_row->addStretch(1);
    form->addRow(caption(tr("緯度(&A):"), latitude_), place_row);
    place_ = new QLabel(this);
    place_->setObjectName(QStringLiteral("place"));
    form->addRow(QString(), place_);

    at_ = edit("AT", QStringLiteral("12:00,sunset"));
    form->addRow(caption(tr("決まった時刻(&T):"), at_), at_);

    skip_dark_below_ = new SpinEdit(this);
    skip_dark_below_->setObjectName(QStringLiteral("SKIP_DARK_BELOW"));
    skip_dark_below_->SetRange(0, kMaxBrightness);
    auto* dark_row = new QHBoxLayout;
    dark_row->addWidget(skip_dark_below_);
    dark_row->addWidget(new QLabel(tr("0〜255 (0: 使わない)"), this));
    dark_row->addStretch(1);
    form->addRow(caption(tr("暗い画像を保存しない明るさ(&B):"), skip_dark_below_), dark_row);
    skip_dark_motion_ = check("SKIP_DARK_MOTION", tr("動体検知の画像も暗ければ保存しない(&K)"));
    form->addRow(QString(), skip_dark_motion_);

    auto* boxes = new QGridLayout;
    interval_ = check("INTERVAL", tr("間隔撮影も時間に従う(&I)"));
    motion_ = check("MOTION", tr("動体検知も時間に従う(&M)"));
    release_camera_ = check("RELEASE_CAMERA", tr("時間外はカメラを解放する(&R)"));
    align_interval_ = check("ALIGN_INTERVAL", tr("間隔を時計に合わせる(&L)"));
    boxes->addWidget(interval_, 0, 0);
    boxes->addWidget(motion_, 0, 1);
    boxes->addWidget(release_camera_, 1, 0);
    boxes->addWidget(align_interval_, 1, 1);
    form->addRow(boxes);

    bars_ = new ScheduleBars(this);
    bars_->setObjectName(QStringLiteral("bars"));
    bars_->setAccessibleName(tr("録画する時間の図"));
    layout->addWidget(bars_);
    next_change_ = new QLabel(this);
    next_change_->setObjectName(QStringLiteral("next_change"));
    layout->addWidget(next_change_);
    problems_ = new QLabel(this);
    problems_->setObjectName(QStringLiteral("problems"));
    problems_->setWordWrap(true);
    problems_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette warning = problems_->palette();
    warning.setColor(QPalette::WindowText, QColor(0xc0, 0x00, 0x00));
    problems_->setPalette(warning);
    layout->addWidget(problems_);
    layout->addStretch(1);

    tick_.setInterval(kRefreshMs);
    connect(&tick_, &QTimer::timeout, this, [this] { Refresh(); });
    Refresh();
}

QString SchedulePage::Title() const { return tr("スケジュール"); }

void SchedulePage::Load(const DiarySettings& settings) {
    const ScheduleSettings& s = settings.Section<ScheduleSettings>();
    loading_ = true;
    hours_->setText(Q(s.HOURS));
    for (std::size_t i = 0; i < kWeekdays.size(); ++i) {
        const std::optional<std::string>& value = s.*kWeekdays[i].field;
        weekdays_[i].own->setChecked(value.has_value());
        weekdays_[i].hours->setEnabled(value.has_value());
        weekdays_[i].hours->setText(Q(value.value_or(std::string())));
    }
    // A MODE the tab has no words for stays as written until another is chosen.
    while (mode_->count() > 2) mode_->removeItem(mode_->count() - 1);
    int mode = mode_->findData(Q(s.MODE));
    if (mode < 0) {
        mode_->addItem(Q(s.MODE), Q(s.MODE));
        mode = mode_->count() - 1;
    }
    mode_->setCurrentIndex(mode);
    latitude_->setText(Q(s.LATITUDE));
    longitude_->setText(Q(s.LONGITUDE));
    interval_->setChecked(s.INTERVAL);
    motion_->setChecked(s.MOTION);
    release_camera_->setChecked(s.RELEASE_CAMERA);
    align_interval_->setChecked(s.ALIGN_INTERVAL);
    skip_dark_motion_->setChecked(s.SKIP_DARK_MOTION);
    at_->setText(Q(s.AT));
    skip_dark_below_->SetPosition(s.SKIP_DARK_BELOW);
    skip_dark_below_->lineEdit()->setText(QString::number(s.SKIP_DARK_BELOW));
    loading_ = false;
    Refresh();
}

bool SchedulePage::Validate() {
    DataExchange dx(DataExchange::Direction::kFromControls, prompts_);
    std::int32_t brightness = 0;
    dx.Int(skip_dark_below_->lineEdit(), brightness, 0, kMaxBrightness);
    if (dx.Failed()) return false;
    Refresh();
    if (problems_found_.empty()) return true;
    prompts_.ShowWarning(
        tr("スケジュールに使えない設定があります。直してから OK を押してください。\n%1")
            .arg(problems_->text())
            .toStdString());
    if (QWidget* field = FieldOf(problems_found_.front().key)) {
        field->setFocus(Qt::OtherFocusReason);
        if (auto* line = qobject_cast<QLineEdit*>(field)) line->selectAll();
    }
    return false;
}

void SchedulePage::Store(DiarySettings& settings) const {
    ScheduleSettings& s = settings.Section<ScheduleSettings>();
    s = Fields(s);
}

ScheduleSettings SchedulePage::Fields(const ScheduleSettings& base) const {
    ScheduleSettings s = base;
    s.HOURS = hours_->text().toStdString();
    for (std::size_t i = 0; i < kWeekdays.size(); ++i) {
        s.*kWeekdays[i].field = weekdays_[i].own->isChecked()
                                    ? std::optional(weekdays_[i].hours->text().toStdString())
                                    : std::nullopt;
    }
    s.MODE = mode_->currentData().toString().toStdString();
    s.LATITUDE = latitude_->text().toStdString();
    s.LONGITUDE = longitude_->text().toStdString();
    s.INTERVAL = interval_->isChecked();
    s.MOTION = motion_->isChecked();
    s.RELEASE_CAMERA = release_camera_->isChecked();
    s.AT = at_->text().toStdString();
    s.ALIGN_INTERVAL = align_interval_->isChecked();
    std::int32_t brightness = 0;
    if (ParseSignedField(skip_dark_below_->lineEdit()->text().toStdString(), brightness))
        s.SKIP_DARK_BELOW = std::clamp(brightness, 0, kMaxBrightness);
    s.SKIP_DARK_MOTION = skip_dark_motion_->isChecked();
    return s;
}

QString SchedulePage::NextChangeText(const RecordingHours& hours, std::time_t now) {
    if (!hours.HasHours()) return tr("いつでも記録します");
    const RecordingHours::State state = hours.At(now);
    if (!state.until) {
        return state.recording ? tr("録画中。8日以内には休止しません")
                               : tr("休止中。8日以内には再開しません");
    }
    const std::tm at = LocalOf(*state.until);
    QString when = ClockText(*state.until);
    if (!SameDay(at, LocalOf(now)))
        when = QStringLiteral("%1/%2 %3").arg(at.tm_mon + 1).arg(at.tm_mday).arg(when);
    return state.recording ? tr("録画中。%1 に休止します").arg(when)
                           : tr("休止中。%1 に再開します").arg(when);
}

QString SchedulePage::PlaceText(const ScheduleSettings& fields, const RecordingHours& hours) {
    const QString latitude = Q(fields.LATITUDE).trimmed();
    const QString longitude = Q(fields.LONGITUDE).trimmed();
    if (latitude.isEmpty() && longitude.isEmpty()) return tr("場所が設定されていません");
    bool latitude_read = false;
    bool longitude_read = false;
    const double north = latitude.toDouble(&latitude_read);
    const double east = longitude.toDouble(&longitude_read);
    if (!hours.HasPlace() || !latitude_read || !longitude_read) return tr("場所が読めません");
    const QString along =
        (north < 0 ? tr("南緯 %1°") : tr("北緯 %1°")).arg(std::fabs(north), 0, 'f', 2);
    const QString across =
        (east < 0 ? tr("西経 %1°") : tr("東経 %1°")).arg(std::fabs(east), 0, 'f', 2);
    return tr("%1、%2").arg(along, across);
}

void SchedulePage::showEvent(QShowEvent* event) {
    Refresh();
    tick_.start();
    SettingsPage::showEvent(event);
}

void SchedulePage::hideEvent(QHideEvent* event) {
    tick_.stop();
    SettingsPage::hideEvent(event);
}

void SchedulePage::Refresh() {
    if (loading_ || bars_ == nullptr || problems_ == nullptr) return;
    const ScheduleSettings fields = Fields(ScheduleSettings{});
    problems_found_.clear();
    const RecordingHours hours = RecordingHours::From(fields, &problems_found_);
    const std::time_t now = static_cast<std::time_t>(clock_.WallMs() / 1000);
    const std::tm today = LocalOf(now);

    std::vector<ScheduleDayBar> days;
    QStringList described;
    for (const int later : {0, 1}) {
        ScheduleDayBar day =
            LocalDayBar(today.tm_year + 1900, today.tm_mon + 1, today.tm_mday + later);
        day.caption = later == 0 ? tr("今日") : tr("明日");
        day.spans = hours.SpansOfDay(day.year, day.month, day.day);
        day.sun = hours.Sun(day.year, day.month, day.day);
        described << day.caption + QStringLiteral(": ") + SpansText(day);
        days.push_back(std::move(day));
    }
    bars_->SetDays(std::move(days), now);
    bars_->setAccessibleDescription(described.join(QStringLiteral("\n")));
    next_change_->setText(NextChangeText(hours, now));
    place_->setText(PlaceText(fields, hours));

    QStringList lines;
    for (const ScheduleProblem& problem : problems_found_)
        lines << tr("%1「%2」: %3").arg(Q(problem.key), Q(problem.text), Q(problem.why));
    problems_->setText(lines.join(QLatin1Char('\n')));
    problems_->setVisible(!lines.isEmpty());

    // A day without its own hours follows HOURS: the field says which.
    for (Weekday& day : weekdays_)
        day.hours->setPlaceholderText(day.own->isChecked() ? tr("時間なし") : Q(fields.HOURS));
}

QWidget* SchedulePage::FieldOf(const std::string& key) const {
    for (std::size_t i = 0; i < kWeekdays.size(); ++i) {
        if (key == kWeekdays[i].key) return weekdays_[i].hours;
    }
    if (key == "MODE") return mode_;
    if (key == "LATITUDE") return latitude_;
    if (key == "LONGITUDE") return longitude_;
    if (key == "AT") return at_;
    if (key == "SKIP_DARK_BELOW") return skip_dark_below_->lineEdit();
    return hours_;
}

#include "retention/ui/retention_page.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>

#include "controls/spin_edit.h"
#include "diary/layout/diary_layout.h"
#include "platform/clock.h"
#include "retention/retention_settings.h"
#include "settings/diary_settings.h"
#include "settings/ui/data_exchange.h"

namespace {

constexpr std::int32_t kMaxDays = 36500;
constexpr std::int32_t kMaxMb = std::numeric_limits<std::int32_t>::max();

QString SizeText(double bytes) {
    char text[32];
    if (bytes < 1024.0 * 1024.0 * 1024.0) {
        std::snprintf(text, sizeof text, "%.1fMB", bytes / (1024.0 * 1024.0));
    } else {
        std::snprintf(text, sizeof text, "%.1fGB", bytes / (1024.0 * 1024.0 * 1024.0));
    }
    return QString::fromUtf8(text);
}

}  // namespace

RetentionPage::RetentionPage(Prompts& prompts, Clock& clock, QWidget* parent)
    : SettingsPage(parent), prompts_(prompts), clock_(clock) {
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    const auto add_row = [&](SpinEdit*& edit, const char* key, std::int32_t max, const char* label,
                             const char* unit) {
        edit = new SpinEdit(this);
        edit->setObjectName(QString::fromUtf8(key));
        edit->SetRange(0, max);
        auto* row = new QHBoxLayout;
        row->addWidget(edit);
        row->addWidget(new QLabel(tr(unit), this));
        row->addStretch(1);
        auto* caption = new QLabel(tr(label), this);
        caption->setBuddy(edit);
        form->addRow(caption, row);
    };
    add_row(days_, "KEEP_DAYS", kMaxDays, QT_TR_NOOP("保存する日数(&D):"),
            QT_TR_NOOP("日 (0: すべての日を残す)"));
    add_row(max_mb_, "KEEP_MAX_MB", kMaxMb, QT_TR_NOOP("合計の上限(&M):"),
            QT_TR_NOOP("MB (0: 上限なし)"));
    add_row(free_mb_, "KEEP_FREE_MB", kMaxMb, QT_TR_NOOP("空き容量の下限(&F):"),
            QT_TR_NOOP("MB (0: 下限なし)"));
    layout->addLayout(form);

    auto* folder = new QGroupBox(tr("保存フォルダ"), this);
    auto* folder_layout = new QVBoxLayout(folder);
    free_space_ = new QLabel(folder);
    free_space_->setObjectName(QStringLiteral("free_space"));
    days_that_fit_ = new QLabel(folder);
    days_that_fit_->setObjectName(QStringLiteral("days_that_fit"));
    days_that_fit_->setWordWrap(true);
    folder_layout->addWidget(free_space_);
    folder_layout->addWidget(days_that_fit_);
    layout->addWidget(folder);

    auto* note =
        new QLabel(tr("条件を超えると、古い日から順に、このプログラムが保存した画像、日別ページ、"
                      "タイムラプス動画を削除します。今日の分は削除しません。"
                      "ほかのファイルがある日別ディレクトリは、そのファイルとともに残します。"),
                   this);
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addStretch(1);
}

RetentionPage::~RetentionPage() { StopLooking(); }

QString RetentionPage::Title() const { return tr("保存期間"); }

void RetentionPage::Load(const DiarySettings& settings) {
    const auto show = [](SpinEdit* edit, std::int32_t& checked, std::int32_t value) {
        checked = value;
        edit->SetPosition(value);
        edit->lineEdit()->setText(QString::number(value));
    };
    const RetentionSettings& kept = settings.Section<RetentionSettings>();
    show(days_, checked_days_, kept.KEEP_DAYS);
    show(max_mb_, checked_max_mb_, kept.KEEP_MAX_MB);
    show(free_mb_, checked_free_mb_, kept.KEEP_FREE_MB);
    const DiaryLayout layout = DiaryLayout::Of(settings);
    LookAt(layout.save_folder, layout.day_page);
}

bool RetentionPage::Validate() {
    DataExchange dx(DataExchange::Direction::kFromControls, prompts_);
    dx.Int(days_->lineEdit(), checked_days_, 0, kMaxDays);
    dx.Int(max_mb_->lineEdit(), checked_max_mb_, 0, kMaxMb);
    dx.Int(free_mb_->lineEdit(), checked_free_mb_, 0, kMaxMb);
    return !dx.Failed();
}

void RetentionPage::Store(DiarySettings& settings) const {
    RetentionSettings& kept = settings.Section<RetentionSettings>();
    kept.KEEP_DAYS = checked_days_;
    kept.KEEP_MAX_MB = checked_max_mb_;
    kept.KEEP_FREE_MB = checked_free_mb_;
}

void RetentionPage::LookAt(const std::string& save_folder, const std::string& day_page) {
    StopLooking();
    days_that_fit_->clear();
    if (save_folder.empty()) {
        free_space_->setText(tr("保存フォルダが設定されていません"));
        return;
    }
    free_space_->setText(tr("保存フォルダを調べています…"));
    stop_looking_.Clear();
    const std::uint64_t number = ++look_number_;
    const std::tm now = clock_.LocalNow();
    looking_ = std::thread([this, save_folder, day_page, now, number] {
        const DiaryOutlook outlook = LookAtDiary(save_folder, day_page, now, stop_looking_);
        if (stop_looking_.IsSet()) return;
        // Posted: the page is destroyed only after this thread was joined.
        QMetaObject::invokeMethod(
            this,
            [this, outlook, number] {
                if (number == look_number_) Show(outlook);
            },
            Qt::QueuedConnection);
    });
}

void RetentionPage::StopLooking() {
    stop_looking_.Request();
    if (looking_.joinable()) looking_.join();
}

void RetentionPage::Show(const DiaryOutlook& outlook) {
    if (outlook.error != 0) {
        free_space_->setText(
            tr("保存フォルダを調べられません (%1)")
                .arg(QString::fromStdString(std::generic_category().message(outlook.error))));
        return;
    }
    free_space_->setText(tr("空き容量: %1 (全体 %2)")
                             .arg(SizeText(static_cast<double>(outlook.free_bytes)),
                                  SizeText(static_cast<double>(outlook.total_bytes))));
    const std::optional<double> rate = outlook.BytesPerDay();
    const std::optional<double> days = outlook.DaysThatFit();
    if (!rate || !days) {
        days_that_fit_->setText(tr("直近7日間の画像がないため、あと何日分入るかはわかりません。"));
    } else if (*days < 1.0) {
        days_that_fit_->setText(tr("直近7日間のペース(1日あたり%1)では、1日分の画像も入りません。")
                                    .arg(SizeText(*rate)));
    } else {
        days_that_fit_->setText(
            tr("直近7日間のペース(1日あたり%1)で、あと約%2日分の画像が入ります。")
                .arg(SizeText(*rate))
                .arg(static_cast<qlonglong>(std::floor(*days))));
    }
}

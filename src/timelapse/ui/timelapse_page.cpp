#include "timelapse/ui/timelapse_page.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "controls/spin_edit.h"
#include "settings/diary_settings.h"
#include "settings/ui/data_exchange.h"
#include "timelapse/timelapse_settings.h"

TimelapsePage::TimelapsePage(Prompts& prompts, QWidget* parent)
    : SettingsPage(parent), prompts_(prompts) {
    auto* layout = new QVBoxLayout(this);
    make_ = new QCheckBox(tr("終わった日の画像からタイムラプス動画を作る(&M)"), this);
    make_->setObjectName(QStringLiteral("TIMELAPSE_MAKE"));
    layout->addWidget(make_);

    auto* form = new QFormLayout;
    fps_ = new SpinEdit(this);
    fps_->setObjectName(QStringLiteral("TIMELAPSE_FPS"));
    fps_->SetRange(1, 60);
    auto* fps_label = new QLabel(tr("1秒あたりのコマ数(&F):"), this);
    fps_label->setBuddy(fps_);
    form->addRow(fps_label, fps_);
    layout->addLayout(form);

    auto* note =
        new QLabel(tr("1枚の画像が1コマになり、日別フォルダに「年月日.webm」として保存されます。"
                      "日別ページにはその動画へのリンクが付きます。"),
                   this);
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addStretch(1);
}

QString TimelapsePage::Title() const { return tr("タイムラプス"); }

void TimelapsePage::Load(const DiarySettings& settings) {
    const TimelapseSettings& timelapse = settings.Section<TimelapseSettings>();
    make_->setChecked(timelapse.MAKE);
    checked_fps_ = timelapse.FPS;
    fps_->SetPosition(timelapse.FPS);
    fps_->lineEdit()->setText(QString::number(timelapse.FPS));
}

bool TimelapsePage::Validate() {
    DataExchange dx(DataExchange::Direction::kFromControls, prompts_);
    dx.Int(fps_->lineEdit(), checked_fps_, 1, 60);
    return !dx.Failed();
}

void TimelapsePage::Store(DiarySettings& settings) const {
    TimelapseSettings& timelapse = settings.Section<TimelapseSettings>();
    timelapse.MAKE = make_->isChecked();
    timelapse.FPS = checked_fps_;
}

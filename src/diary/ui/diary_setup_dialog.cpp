#include "diary/ui/diary_setup_dialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "capture/ui/preview_view.h"
#include "controls/dialog_controls.h"
#include "controls/dialog_units.h"
#include "controls/push_graph.h"
#include "controls/spin_edit.h"
#include "settings/shared_settings.h"
#include "settings/ui/data_exchange.h"

namespace {

const char* const kPlaceholderName = "1075";
constexpr int kResetValues = 1000;

std::optional<std::string> ChooseFolderWithQt(QWidget* owner, const std::string& start) {
    const QString chosen = QFileDialog::getExistingDirectory(
        owner, CDiarySetupDialog::tr("保存先のフォルダを選択してください"),
        QString::fromStdString(start), QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
}

void CopyDiaryGroup(const DiarySettings& from, DiarySettings& to) {
    to.SAVE_DIRECTORY = from.SAVE_DIRECTORY;
    to.INTERVAL_HOUR = from.INTERVAL_HOUR;
    to.INTERVAL_MINUTE = from.INTERVAL_MINUTE;
    to.INTERVAL_SECOND = from.INTERVAL_SECOND;
    to.MOTION_DETECT = from.MOTION_DETECT;
    to.MOTION_DETECT_LEVEL = from.MOTION_DETECT_LEVEL;
    to.MOTION_DETECT_UPDATE = from.MOTION_DETECT_UPDATE;
    to.MOTION_DETECT_INTERVAL = from.MOTION_DETECT_INTERVAL;
}

}  // namespace

bool MotionValuesAllowRestart(const DiarySettings& s) {
    return s.MOTION_DETECT_UPDATE >= 20 && s.MOTION_DETECT_UPDATE <= 60000 &&
           s.MOTION_DETECT_LEVEL > 0 && s.MOTION_DETECT_LEVEL < 100 &&
           s.MOTION_DETECT_INTERVAL > 0 && s.MOTION_DETECT_INTERVAL <= 600;
}

CDiarySetupDialog::CDiarySetupDialog(DiarySetupServices services, QWidget* parent)
    : QDialog(parent),
      services_(std::move(services)),
      preview_(
          services_.prompts, services_.clock, [this] { StopMotionThread(); },
          services_.system_devices) {
    setWindowTitle(tr("キャプチャ設定"));
    const QFont font = DialogFont(QStringLiteral("MS Shell Dlg"), 8);
    setFont(font);
    const DialogUnits du(font);
    setFixedSize(du.Size(315, 190));
    motion_.SetProcessEvents(
        [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });

    const DialogControls make(this);

    make.Group(tr("画像保存先ディレクトリ"), du.Rect(7, 4, 160, 34));
    folder_ = make.Edit("1003", tr("画像保存先ディレクトリ"), du.Rect(14, 17, 110, 13));
    browse_ = make.Button("1000", tr("参照"), du.Rect(128, 16, 32, 14));

    make.Group(tr("撮影間隔"), du.Rect(7, 41, 160, 32));
    // The unit labels are narrow; the fields' names need not be.
    hours_ = make.Spin("1039", tr("時間", "hours field"), du.Rect(14, 54, 36, 13), 0, 1024);
    make.Label(tr("時間"), du.Rect(52, 56, 16, 8), hours_);
    minutes_ = make.Spin("1041", tr("分", "minutes field"), du.Rect(70, 54, 28, 13), 0, 59);
    make.Label(tr("分"), du.Rect(100, 56, 8, 8), minutes_);
    seconds_ = make.Spin("1043", tr("秒間隔", "seconds field"), du.Rect(110, 54, 28, 13), 0, 59);
    make.Label(tr("秒間隔"), du.Rect(140, 56, 24, 8), seconds_);

    make.Group(tr("動作検知設定"), du.Rect(7, 76, 160, 92));
    motion_detect_ = make.Check("1059", tr("動作検知保存を使用する"), du.Rect(14, 88, 146, 10));
    level_ = make.Spin("1048", tr("レベル"), du.Rect(80, 102, 36, 13), 1, 99);
    make.Label(tr("レベル"), du.Rect(14, 104, 62, 8), level_);
    update_ = make.Spin("1073", tr("検査間隔"), du.Rect(80, 118, 44, 13), 20, 30000);
    make.Label(tr("検査間隔"), du.Rect(14, 120, 62, 8), update_);
    make.Label("ms", du.Rect(128, 120, 16, 8), nullptr);
    least_interval_ = make.Spin("1010", tr("画像保存最短間隔"), du.Rect(80, 134, 44, 13), 1, 30000);
    make.Label(tr("画像保存最短間隔"), du.Rect(14, 136, 64, 8), least_interval_);
    make.Label("sec", du.Rect(128, 136, 16, 8), nullptr);
    apply_ = make.Button("4", tr("適用"), du.Rect(118, 150, 42, 14));

    live_picture_ = new PreviewView(this);
    live_picture_->setObjectName(QStringLiteral("1001"));
    live_picture_->setGeometry(du.Rect(174, 7, 134, 100));
    make.Label(tr("動作変化量グラフ"), du.Rect(174, 111, 134, 8), nullptr);
    graph_rect_ = du.Rect(174, 121, 134, 44);
    auto* placeholder = new QWidget(this);
    placeholder->setObjectName(QString::fromUtf8(kPlaceholderName));
    placeholder->setAccessibleName(tr("動作変化量グラフ"));
    placeholder->setGeometry(graph_rect_);
    graph_ = new C2DPushGraph;
    graph_->CreateOverPlaceholder(this, QString::fromUtf8(kPlaceholderName));
    graph_->SetSizingFrame(true);

    auto* ok = make.Button("1", "OK", du.Rect(204, 172, 50, 14));
    ok->setDefault(true);
    auto* cancel = make.Button("2", tr("キャンセル"), du.Rect(258, 172, 50, 14));

    connect(browse_, &QPushButton::clicked, this, [this] { OnBrowse(); });
    connect(apply_, &QPushButton::clicked, this, [this] { OnApply(); });
    connect(ok, &QPushButton::clicked, this, &CDiarySetupDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CDiarySetupDialog::reject);
}

CDiarySetupDialog::~CDiarySetupDialog() {
    // Every run ends before the graph and the preview it uses go.
    motion_.Shutdown();
    preview_.ReleasePreviewGraph();
}

void CDiarySetupDialog::SetDeviceInfo(const std::string& name, std::int32_t width,
                                      std::int32_t height, std::int64_t frame_time) {
    device_ = PreviewDeviceSettings{name, width, height, frame_time};
}

void CDiarySetupDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (open_) return;
    open_ = true;
    OnInitDialog();
}

void CDiarySetupDialog::OnInitDialog() {
    edit_ = services_.settings.Copy();
    UpdateData(false);
    if (preview_.BuildPreviewGraph(device_)) {
        live_picture_->SetSource(preview_.Preview());
    } else {
        live_picture_->SetSource(nullptr);
    }
    const DiarySettings& s = edit_;
    hours_->SetPosition(s.INTERVAL_HOUR);
    minutes_->SetPosition(s.INTERVAL_MINUTE);
    seconds_->SetPosition(s.INTERVAL_SECOND);
    update_->SetPosition(s.MOTION_DETECT_UPDATE);
    level_->SetPosition(s.MOTION_DETECT_LEVEL);
    least_interval_->SetPosition(s.MOTION_DETECT_INTERVAL);
    UpdateData(false);
    PlaceGraph();
    ResetMotionGraph();
    StartMotionThread();
}

void CDiarySetupDialog::PlaceGraph() {
    // Every opening starts at the designed place, whatever the user's grip
    // did to it last time.
    graph_->setGeometry(graph_rect_);
    graph_->SetStepWidth(5);
    graph_->SetGridSpacing(10);
    graph_->SetGridColour(kGridColour);
    graph_->SetGridVisible(true);
}

void CDiarySetupDialog::Exchange(DataExchange& dx, DiarySettings& s) {
    dx.UInt(hours_->lineEdit(), s.INTERVAL_HOUR, 0, 1024);
    dx.UInt(minutes_->lineEdit(), s.INTERVAL_MINUTE, 0, 59);
    dx.UInt(seconds_->lineEdit(), s.INTERVAL_SECOND, 0, 59);
    dx.Text(folder_, s.SAVE_DIRECTORY);
    dx.Check(motion_detect_, s.MOTION_DETECT);
    dx.Int(update_->lineEdit(), s.MOTION_DETECT_UPDATE, 20, 30000);
    dx.Int(level_->lineEdit(), s.MOTION_DETECT_LEVEL, 0, 100);
    dx.Int(least_interval_->lineEdit(), s.MOTION_DETECT_INTERVAL, 1, 30000);
}

bool CDiarySetupDialog::UpdateData(bool save_and_validate) {
    DataExchange dx(save_and_validate ? DataExchange::Direction::kFromControls
                                      : DataExchange::Direction::kToControls,
                    services_.prompts);
    Exchange(dx, edit_);
    return !dx.Failed();
}

void CDiarySetupDialog::Commit() {
    services_.settings.Update([this](DiarySettings& d) { CopyDiaryGroup(edit_, d); });
}

void CDiarySetupDialog::ResetMotionGraph() {
    graph_->RemoveSeries(0);
    graph_->RemoveSeries(1);
    graph_->Refresh();
    graph_->AddSeries(0, kScoreColour);
    graph_->AddSeries(1, kLevelColour);
    const std::int32_t level = edit_.MOTION_DETECT_LEVEL;
    for (int i = 0; i < kResetValues; ++i) {
        graph_->PushValue(0, 0);
        graph_->PushValue(level, 1);
    }
    graph_->update();
}

void CDiarySetupDialog::StartMotionThread() {
    const std::int32_t period = edit_.MOTION_DETECT_UPDATE;
    C2DPushGraph* graph = graph_;
    motion_.StartMotionThread(MotionRunInputs{preview_, services_.clock,
                                              [this] { return preview_.ready(); },
                                              static_cast<std::uint32_t>(period),
                                              [graph](int score) {
                                                  graph->PushValue(score, 0);
                                                  graph->Refresh();
                                              },
                                              &checks_});
}

void CDiarySetupDialog::StopMotionThread() { motion_.StopMotionThread(); }

void CDiarySetupDialog::OnBrowse() {
    // Only the folder field changes: the other fields keep what was typed,
    // and nothing reaches the settings before OK.
    const std::string current = folder_->text().toStdString();
    const std::optional<std::string> chosen =
        services_.choose_folder ? services_.choose_folder(this) : ChooseFolderWithQt(this, current);
    if (!chosen || chosen->empty()) return;
    // As the browser gives it: no separator is added; the store appends one.
    folder_->setText(QString::fromStdString(*chosen));
}

void CDiarySetupDialog::OnApply() {
    StopMotionThread();
    // The graph and the motion thread follow what the fields hold; the
    // settings take the values only when every check passed.
    if (UpdateData(true)) Commit();
    ResetMotionGraph();
    if (MotionValuesAllowRestart(edit_)) StartMotionThread();
}

void CDiarySetupDialog::accept() {
    if (!UpdateData(true)) return;
    Commit();
    QDialog::accept();
}

void CDiarySetupDialog::done(int result) {
    if (open_) {
        open_ = false;
        live_picture_->SetSource(nullptr);
        preview_.ReleasePreviewGraph();
    }
    QDialog::done(result);
}

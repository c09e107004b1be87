#include "settings/ui/app_config_dialog.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QUrl>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "controls/dialog_controls.h"
#include "controls/dialog_units.h"
#include "controls/spin_edit.h"
#include "platform/file_error.h"
#include "platform/prompts.h"
#include "settings/shared_settings.h"
#include "settings/startup_shortcut.h"
#include "settings/ui/data_exchange.h"

namespace {

constexpr const char* kLogFileName = "log.txt";

// The log file and the start-up entry are the application's files, not the
// diary's, so no rule of the save folder applies.
bool EntryExists(const std::string& directory, const char* name) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(directory) / name, ec);
}

// A trackbar tells its owner when it lets go of the mouse, at the end of a
// drag or of a click; keys move it without that.
class ReleasingSlider final : public QSlider {
public:
    ReleasingSlider(std::function<void()> on_release, QWidget* parent)
        : QSlider(Qt::Horizontal, parent), on_release_(std::move(on_release)) {}

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QSlider::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton) on_release_();
    }

private:
    std::function<void()> on_release_;
};

void CopyApplicationGroup(const DiarySettings& from, DiarySettings& to) {
    to.STARTUP_TIMER = from.STARTUP_TIMER;
    to.STARTUP_DIALOG = from.STARTUP_DIALOG;
    to.LOGFILE = from.LOGFILE;
    to.CLOSECANCEL = from.CLOSECANCEL;
}

// 0, or the error number of a removal that failed.
int RemoveFile(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return ec ? ec.value() : 0;
}

}  // namespace

CAppConfigDlg::CAppConfigDlg(AppConfigServices services, QWidget* parent)
    : QDialog(parent), services_(std::move(services)) {
    setWindowTitle(tr("アプリケーション設定"));
    const QFont font = DialogFont(QStringLiteral("MS Shell Dlg"), 8);
    setFont(font);
    const DialogUnits du(font);
    setFixedSize(du.Size(262, 228));

    const DialogControls make(this);

    // The decorative band down the left edge.
    auto* band = new QWidget(this);
    band->setObjectName(QStringLiteral("band"));
    band->setGeometry(du.Rect(7, 7, 20, 214));
    band->setStyleSheet(QStringLiteral(
        "#band { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #2f5d8a, "
        "stop:1 #9cc3e6); border-radius: 3px; }"));

    make.Group(tr("スタートアップ"), du.Rect(34, 4, 221, 64));
    startup_timer_ = make.Spin("1039", tr("秒後に起動する"), du.Rect(42, 16, 34, 13), 0, 180);
    startup_timer_->lineEdit()->setReadOnly(true);
    make.Label(tr("秒後に起動する"), du.Rect(80, 18, 80, 8), startup_timer_);
    startup_dialog_ =
        make.Check("1054", tr("起動までの秒数をダイアログで表示する"), du.Rect(42, 33, 206, 10));
    auto* create_shortcut = make.Button("1002", tr("ショートカット作成"), du.Rect(42, 48, 90, 14));
    auto* delete_shortcut = make.Button("1003", tr("ショートカット削除"), du.Rect(138, 48, 90, 14));

    make.Group(tr("ログファイル"), du.Rect(34, 72, 221, 48));
    log_file_ = make.Check("1024", tr("ログをファイルに出力する"), du.Rect(42, 84, 206, 10));
    auto* open_log = make.Button("1000", tr("ログファイルを開く"), du.Rect(42, 99, 90, 14));
    auto* delete_log = make.Button("1001", tr("ログファイルを削除"), du.Rect(138, 99, 90, 14));

    make.Group(tr("終了の設定"), du.Rect(34, 124, 221, 26));
    close_cancel_ = make.Check("1025", tr("閉じるボタンでアプリケーションを終了しない"),
                               du.Rect(42, 136, 206, 10));

    make.Group(tr("JPEG保存画質"), du.Rect(34, 154, 221, 48));
    quality_ = new ReleasingSlider([this] { OnQualityReleased(); }, this);
    quality_->setObjectName(QStringLiteral("1052"));
    quality_->setAccessibleName(tr("JPEG保存画質"));
    quality_->setGeometry(du.Rect(40, 167, 209, 20));
    make.Label("0%", du.Rect(42, 189, 20, 8), nullptr);
    make.Label("50%", du.Rect(135, 189, 20, 8), nullptr)->setAlignment(Qt::AlignHCenter);
    make.Label("100%", du.Rect(223, 189, 24, 8), nullptr)->setAlignment(Qt::AlignRight);

    auto* ok = make.Button("1", "OK", du.Rect(149, 208, 50, 14));
    ok->setDefault(true);
    auto* cancel = make.Button("2", tr("キャンセル"), du.Rect(205, 208, 50, 14));

    connect(open_log, &QPushButton::clicked, this, [this] { OpenLogFile(); });
    connect(delete_log, &QPushButton::clicked, this, [this] { DeleteLogFile(); });
    connect(create_shortcut, &QPushButton::clicked, this, [this] { CreateStartupShortcut(); });
    connect(delete_shortcut, &QPushButton::clicked, this, [this] { DeleteStartupShortcut(); });
    connect(ok, &QPushButton::clicked, this, &CAppConfigDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CAppConfigDlg::reject);
}

void CAppConfigDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (open_) return;
    open_ = true;
    OnInitDialog();
}

void CAppConfigDlg::OnInitDialog() {
    UpdateData(false);
    const DiarySettings s = services_.settings.Copy();
    opened_quality_ = s.JPEG_QUALITY;
    quality_->setRange(0, 100);
    quality_->setTickPosition(QSlider::TicksAbove);
    quality_->setTickInterval(10);
    quality_->setPageStep(20);  // a trackbar's default page, a fifth of its range
    quality_->setValue(s.JPEG_QUALITY);
    // An up-down control takes a 16-bit position and shows it within its range.
    startup_timer_->SetPosition(static_cast<std::int16_t>(s.STARTUP_TIMER));
}

void CAppConfigDlg::Exchange(DataExchange& dx, DiarySettings& s) {
    dx.Int(startup_timer_->lineEdit(), s.STARTUP_TIMER, 0, 180);
    dx.Check(startup_dialog_, s.STARTUP_DIALOG);
    dx.Check(log_file_, s.LOGFILE);
    dx.Check(close_cancel_, s.CLOSECANCEL);
}

bool CAppConfigDlg::UpdateData(bool save_and_validate) {
    // On a copy, so that no prompt is shown with the settings locked; the
    // settings take the group only when every check passed.
    DiarySettings s = services_.settings.Copy();
    DataExchange dx(save_and_validate ? DataExchange::Direction::kFromControls
                                      : DataExchange::Direction::kToControls,
                    services_.prompts);
    Exchange(dx, s);
    if (save_and_validate && !dx.Failed())
        services_.settings.Update([&](DiarySettings& d) { CopyApplicationGroup(s, d); });
    return !dx.Failed();
}

void CAppConfigDlg::OnQualityReleased() {
    const int quality = quality_->value();
    services_.settings.Update([quality](DiarySettings& s) { s.JPEG_QUALITY = quality; });
}

void CAppConfigDlg::OpenLogFile() {
    const std::string directory = services_.app_directory();
    if (!EntryExists(directory, kLogFileName)) {
        services_.prompts.ShowMessage(tr(kNoLogFileMessage).toStdString());
        return;
    }
    const std::string path = directory + kLogFileName;
    if (services_.open_file)
        services_.open_file(path);
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void CAppConfigDlg::DeleteLogFile() {
    const std::string directory = services_.app_directory();
    if (!EntryExists(directory, kLogFileName)) {
        services_.prompts.ShowMessage(tr(kNoLogFileMessage).toStdString());
        return;
    }
    if (!services_.prompts.AskOkCancel(tr(kDeleteLogFileQuestion).toStdString())) return;
    const std::string path = directory + kLogFileName;
    if (const int error = RemoveFile(path); error != 0)
        services_.prompts.ShowMessage(FileErrorMessage(path, error));
}

std::string CAppConfigDlg::StartupFolder() const {
    return services_.startup_folder ? services_.startup_folder() : GetStartupFolder();
}

void CAppConfigDlg::CreateStartupShortcut() {
    const std::string executable =
        services_.executable ? services_.executable() : RunningExecutablePath();
    const std::string folder = StartupFolder();
    if (folder.empty()) return;
    const std::string link_path = folder + "/" + kStartupShortcutName;
    if (!services_.prompts.AskOkCancel(tr(kCreateShortcutQuestion).toStdString())) return;
    // Unlike a shell link, an entry that could not be written says so: the
    // user would otherwise count on a start at log-in that never comes.
    const int error =
        executable.empty()
            ? ENOENT
            : CreateShellLink(link_path,
                              StartupShellLink(executable, std::getenv("QUILLOMAT_HOME")));
    if (error != 0) services_.prompts.ShowMessage(FileErrorMessage(link_path, error));
}

void CAppConfigDlg::DeleteStartupShortcut() {
    const std::string folder = StartupFolder();
    if (folder.empty()) return;
    if (!EntryExists(folder, kStartupShortcutName)) {
        services_.prompts.ShowMessage(tr(kNoShortcutMessage).toStdString());
        return;
    }
    if (!services_.prompts.AskOkCancel(tr(kDeleteShortcutQuestion).toStdString())) return;
    const std::string link_path = folder + "/" + kStartupShortcutName;
    if (const int error = RemoveFile(link_path); error != 0)
        services_.prompts.ShowMessage(FileErrorMessage(link_path, error));
}

void CAppConfigDlg::accept() {
    if (!UpdateData(true)) return;
    QDialog::accept();
}

void CAppConfigDlg::done(int result) {
    // The quality is in effect as soon as the slider lets go; Cancel takes
    // back what this opening changed.
    if (open_ && result == QDialog::Rejected) {
        const int quality = opened_quality_;
        services_.settings.Update([quality](DiarySettings& s) { s.JPEG_QUALITY = quality; });
    }
    open_ = false;
    QDialog::done(result);
}

void RunAppConfigCommand(CAppConfigDlg& dialog, const std::function<int(QDialog&)>& run) {
    if (run)
        run(dialog);
    else
        dialog.exec();
}

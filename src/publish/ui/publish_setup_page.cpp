#include "publish/ui/publish_setup_page.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "controls/spin_edit.h"
#include "platform/child_process.h"
#include "platform/prompts.h"
#include "publish/publish_settings.h"
#include "publish/remote_check.h"
#include "publish/remote_secrets.h"
#include "settings/diary_settings.h"
#include "settings/ui/data_exchange.h"

namespace {

constexpr int kCheckLimitMs = 60000;
constexpr int kMaxInterval = 86400;

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

PublishSetupPage::PublishSetupPage(Prompts& prompts, QWidget* parent)
    : SettingsPage(parent), prompts_(prompts) {
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    remote_ = new QLineEdit(this);
    remote_->setObjectName(QStringLiteral("remote"));
    remote_->setPlaceholderText(tr("例: mybucket:diary"));
    remote_->setToolTip(
        tr("rcloneのリモートとパス (例: mybucket:diary)、"
           "または接続文字列 (例: :webdav,url='https://host/dav':diary)"));
    form->addRow(tr("公開先(&R):"), remote_);

    auto* config_row = new QHBoxLayout;
    config_ = new QLineEdit(this);
    config_->setObjectName(QStringLiteral("rcloneConfig"));
    config_->setPlaceholderText(tr("空欄: rcloneの既定の設定ファイル"));
    auto* browse = new QPushButton(tr("参照(&B)..."), this);
    browse->setObjectName(QStringLiteral("browseConfig"));
    config_row->addWidget(config_);
    config_row->addWidget(browse);
    auto* config_label = new QLabel(tr("rcloneの設定ファイル(&C):"), this);
    config_label->setBuddy(config_);
    form->addRow(config_label, config_row);

    auto* interval = new SpinEdit(this);
    interval->setObjectName(QStringLiteral("pageInterval"));
    interval->SetRange(0, kMaxInterval);
    interval_ = interval->lineEdit();
    form->addRow(tr("ページの送信間隔(秒)(&P):"), interval);

    bwlimit_ = new QLineEdit(this);
    bwlimit_->setObjectName(QStringLiteral("bwlimit"));
    bwlimit_->setPlaceholderText(tr("例: 1M（空欄: 制限なし）"));
    form->addRow(tr("帯域制限(&L):"), bwlimit_);

    auto* note =
        new QLabel(tr("公開先が空欄なら公開しません。写真はすぐに、ページは送信間隔ごとに送ります。"
                      "パスワードや鍵はrcloneの設定ファイルに置いてください（rclone config）。"),
                   this);
    note->setWordWrap(true);
    layout->addWidget(note);

    check_ = new QPushButton(tr("接続テスト(&T)"), this);
    check_->setObjectName(QStringLiteral("checkRemote"));
    auto* check_row = new QHBoxLayout;
    check_row->addWidget(check_);
    check_row->addStretch();
    layout->addLayout(check_row);
    result_ = new QPlainTextEdit(this);
    result_->setObjectName(QStringLiteral("checkResult"));
    result_->setReadOnly(true);
    result_->setAccessibleName(tr("接続テストの結果"));
    layout->addWidget(result_);

    check_limit_.setSingleShot(true);
    connect(&check_limit_, &QTimer::timeout, this, [this] {
        if (process_) process_->kill();
    });
    connect(check_, &QPushButton::clicked, this, [this] { CheckRemote(); });
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString file =
            QFileDialog::getOpenFileName(this, tr("rcloneの設定ファイル"), config_->text(),
                                         tr("rclone.conf (*.conf);;すべてのファイル (*)"));
        if (!file.isEmpty()) config_->setText(file);
    });
}

PublishSetupPage::~PublishSetupPage() {
    if (process_) {
        process_->disconnect();
        process_->kill();
        process_->waitForFinished(1000);
    }
}

QString PublishSetupPage::Title() const { return tr("公開"); }

void PublishSetupPage::Load(const DiarySettings& settings) {
    const PublishSettings& s = settings.Section<PublishSettings>();
    loaded_remote_ = s.REMOTE;
    remote_->setText(Q(MaskRemote(s.REMOTE)));
    config_->setText(Q(s.RCLONE_CONFIG));
    interval_->setText(QString::number(s.PAGE_INTERVAL_SECOND));
    bwlimit_->setText(Q(s.BWLIMIT));
    if (!Checking()) result_->clear();
}

std::string PublishSetupPage::RemoteValue() const {
    const std::string text = remote_->text().toStdString();
    if (text == MaskRemote(loaded_remote_)) return loaded_remote_;
    return UnmaskRemote(text, loaded_remote_);
}

bool PublishSetupPage::Validate() {
    DataExchange dx(DataExchange::Direction::kFromControls, prompts_);
    std::int32_t interval = 0;
    dx.Int(interval_, interval, 0, kMaxInterval);
    if (dx.Failed()) return false;
    // A credential typed in now would go into setup.ini; one that was there
    // already (a hand-edited file) is kept as it is.
    const std::vector<RemoteParameter> before = StoredCredentials(loaded_remote_);
    for (const RemoteParameter& p : StoredCredentials(RemoteValue())) {
        const bool kept = std::any_of(before.begin(), before.end(), [&](const RemoteParameter& b) {
            return b.key == p.key && b.value == p.value;
        });
        if (!kept) {
            prompts_.ShowWarning(tr(kCredentialsInRemotePrompt).toStdString());
            remote_->setFocus();
            remote_->selectAll();
            return false;
        }
    }
    return true;
}

void PublishSetupPage::Store(DiarySettings& settings) const {
    PublishSettings& s = settings.Section<PublishSettings>();
    s.REMOTE = RemoteValue();
    s.RCLONE_CONFIG = config_->text().toStdString();
    std::int32_t interval = s.PAGE_INTERVAL_SECOND;
    if (ParseSignedField(interval_->text().toStdString(), interval))
        s.PAGE_INTERVAL_SECOND = std::clamp(interval, 0, kMaxInterval);
    s.BWLIMIT = bwlimit_->text().toStdString();
}

bool PublishSetupPage::Checking() const { return process_ != nullptr; }

void PublishSetupPage::CheckRemote() {
    if (Checking()) return;
    checked_remote_ = RemoteValue();
    if (checked_remote_.empty()) {
        result_->setPlainText(tr("公開先が空欄です。"));
        return;
    }
    const std::string program = FindOnPath(rclone_);
    if (program.empty()) {
        result_->setPlainText(
            tr("rcloneが見つかりません（sudo apt-get install rclone で入ります）。"));
        return;
    }
    QStringList args;
    for (const std::string& a :
         RemoteCheckArguments(checked_remote_, config_->text().toStdString()))
        args << Q(a);
    process_ = new QProcess(this);
    process_->setProgram(Q(program));
    process_->setArguments(args);
    process_->setStandardInputFile(QProcess::nullDevice());
    connect(process_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        CheckEnded(status == QProcess::NormalExit ? code : -1);
    });
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) CheckEnded(-1);
    });
    check_->setEnabled(false);
    result_->setPlainText(tr("確認しています…"));
    check_limit_.start(kCheckLimitMs);
    process_->start();
}

void PublishSetupPage::CheckEnded(int exit_code) {
    if (!process_) return;
    check_limit_.stop();
    const std::string output = process_->readAllStandardOutput().toStdString();
    const std::string errors = process_->readAllStandardError().toStdString();
    process_->disconnect();
    process_->deleteLater();
    process_ = nullptr;
    check_->setEnabled(true);
    result_->setPlainText(Q(DescribeRemoteCheck(exit_code, output, errors, checked_remote_)));
}

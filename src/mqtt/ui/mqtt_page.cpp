#include "mqtt/ui/mqtt_page.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <chrono>

#include "controls/spin_edit.h"
#include "mqtt/mqtt_link.h"
#include "mqtt/mqtt_settings.h"
#include "settings/diary_settings.h"
#include "settings/ui/data_exchange.h"

namespace {

constexpr int kLeastPort = 1;
constexpr int kLastPort = 65535;
constexpr std::chrono::milliseconds kTestLimit{10000};

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QLineEdit* edit) { return edit->text().trimmed().toStdString(); }

}  // namespace

MqttPage::MqttPage(Prompts& prompts, std::string settings_directory, QWidget* parent)
    : SettingsPage(parent), prompts_(prompts), settings_directory_(std::move(settings_directory)) {
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    host_ = new QLineEdit(this);
    host_->setObjectName(QStringLiteral("HOST"));
    host_->setPlaceholderText(tr("空欄: MQTTを使いません"));
    form->addRow(tr("ブローカー(&B):"), host_);

    port_ = new SpinEdit(this);
    port_->setObjectName(QStringLiteral("PORT"));
    port_->SetRange(kLeastPort, kLastPort);
    port_->setAccessibleName(tr("ポート"));
    form->addRow(tr("ポート(&P):"), port_);

    const auto add_file_row = [&](QLineEdit*& edit, const char* key, const QString& label,
                                  const QString& placeholder, const QString& caption) {
        edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(key));
        edit->setPlaceholderText(placeholder);
        auto* browse = new QPushButton(tr("参照..."), this);
        browse->setAccessibleName(caption);
        auto* row = new QHBoxLayout;
        row->addWidget(edit);
        row->addWidget(browse);
        auto* row_label = new QLabel(label, this);
        row_label->setBuddy(edit);
        form->addRow(row_label, row);
        QLineEdit* target = edit;
        connect(browse, &QPushButton::clicked, this, [this, target, caption] {
            const QString file = QFileDialog::getOpenFileName(this, caption, target->text());
            if (!file.isEmpty()) target->setText(file);
        });
    };
    add_file_row(ca_, "TLS_CA", tr("TLSの認証局(&A):"),
                 tr("空欄: TLSなし、system: システムの認証局"), tr("認証局のファイル"));
    user_ = new QLineEdit(this);
    user_->setObjectName(QStringLiteral("USER"));
    form->addRow(tr("ユーザー(&U):"), user_);
    add_file_row(password_file_, "PASSWORD_FILE", tr("パスワードのファイル(&F):"),
                 tr("所有者だけが読めるファイル (chmod 600)"), tr("パスワードのファイル"));

    topic_ = new QLineEdit(this);
    topic_->setObjectName(QStringLiteral("TOPIC"));
    topic_->setPlaceholderText(tr("空欄: quillomat/ホスト名"));
    form->addRow(tr("トピック(&T):"), topic_);

    discovery_ = new QCheckBox(tr("Home Assistantに機器として知らせる(&D)"), this);
    discovery_->setObjectName(QStringLiteral("DISCOVERY"));
    form->addRow(discovery_);
    discovery_prefix_ = new QLineEdit(this);
    discovery_prefix_->setObjectName(QStringLiteral("DISCOVERY_PREFIX"));
    form->addRow(tr("知らせるトピック(&X):"), discovery_prefix_);
    connect(discovery_, &QCheckBox::toggled, discovery_prefix_, &QWidget::setEnabled);

    auto* note = new QLabel(tr("パスワードは設定ファイルに書かず、そのファイルの1行目に置きます。"
                               "録画のON/OFFと今すぐ保存のボタンも届きます。"),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);

    test_ = new QPushButton(tr("接続テスト(&C)"), this);
    test_->setObjectName(QStringLiteral("testConnection"));
    auto* test_row = new QHBoxLayout;
    test_row->addWidget(test_);
    test_row->addStretch();
    layout->addLayout(test_row);
    result_ = new QLabel(this);
    result_->setObjectName(QStringLiteral("testResult"));
    result_->setWordWrap(true);
    result_->setAccessibleName(tr("接続テストの結果"));
    layout->addWidget(result_);
    layout->addStretch();

    connect(test_, &QPushButton::clicked, this, [this] { TestConnection(); });
    connect(&watcher_, &QFutureWatcher<std::string>::finished, this, [this] {
        const std::string error = watcher_.result();
        testing_ = false;
        test_->setEnabled(true);
        result_->setText(error.empty() ? tr("接続できました。")
                                       : tr("接続できません: %1").arg(Q(error)));
    });
}

// The pool's thread ends within the test's limit on its own; nothing of the
// page is left in it.
MqttPage::~MqttPage() { watcher_.disconnect(); }

QString MqttPage::Title() const { return QStringLiteral("MQTT"); }

void MqttPage::Load(const DiarySettings& settings) {
    const MqttSettings& s = settings.Section<MqttSettings>();
    host_->setText(Q(s.HOST));
    port_->lineEdit()->setText(QString::number(s.PORT));
    ca_->setText(Q(s.TLS_CA));
    user_->setText(Q(s.USER));
    password_file_->setText(Q(s.PASSWORD_FILE));
    topic_->setText(Q(s.TOPIC));
    discovery_->setChecked(s.DISCOVERY);
    discovery_prefix_->setText(Q(s.DISCOVERY_PREFIX));
    discovery_prefix_->setEnabled(s.DISCOVERY);
    if (!Testing()) result_->clear();
}

bool MqttPage::Validate() {
    DataExchange dx(DataExchange::Direction::kFromControls, prompts_);
    std::int32_t port = 0;
    dx.Int(port_->lineEdit(), port, kLeastPort, kLastPort);
    return !dx.Failed();
}

void MqttPage::Store(DiarySettings& settings) const {
    MqttSettings& s = settings.Section<MqttSettings>();
    s.HOST = S(host_);
    std::int32_t port = s.PORT;
    if (ParseSignedField(port_->lineEdit()->text().toStdString(), port))
        s.PORT = std::clamp(port, kLeastPort, kLastPort);
    s.TLS_CA = S(ca_);
    s.USER = S(user_);
    s.PASSWORD_FILE = S(password_file_);
    s.TOPIC = S(topic_);
    s.DISCOVERY = discovery_->isChecked();
    s.DISCOVERY_PREFIX = S(discovery_prefix_);
}

void MqttPage::TestConnection() {
    if (Testing()) return;
    DiarySettings fields;
    Store(fields);
    const MqttSettings settings = fields.Section<MqttSettings>();
    if (settings.HOST.empty()) {
        result_->setText(tr("ブローカーが空欄です。"));
        return;
    }
    testing_ = true;
    test_->setEnabled(false);
    result_->setText(tr("接続しています…"));
    watcher_.setFuture(QtConcurrent::run([settings, directory = settings_directory_] {
        return TestMqttConnection(settings, directory, kTestLimit);
    }));
}

#include "event_commands/ui/event_commands_page.h"

#include <signal.h>

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "controls/spin_edit.h"
#include "event_commands/event_commands_settings.h"
#include "settings/diary_settings.h"
#include "settings/ui/data_exchange.h"

namespace {

constexpr int kLeastTimeout = 1;
constexpr int kLongestTimeout = 86400;
constexpr int kLongestCooldown = 86400;

QString Label(CommandEvent event) {
    switch (event) {
        case CommandEvent::kPicture:
            return EventCommandsPage::tr("画像を保存したとき");
        case CommandEvent::kStoreFailed:
            return EventCommandsPage::tr("画像の保存に失敗したとき");
        case CommandEvent::kCameraLost:
            return EventCommandsPage::tr("カメラが見つからなくなったとき");
        case CommandEvent::kCameraFound:
            return EventCommandsPage::tr("カメラが戻ったとき");
    }
    return {};
}

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

// Where a picture stored now would go.
std::string PicturePathNow(std::string save_directory, const std::tm& t) {
    if (save_directory.empty() || save_directory.back() != '/') save_directory += '/';
    char name[64];
    std::snprintf(name, sizeof name, "%04d%02d%02d/%04d%02d%02d%02d%02d%02d.jpg", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                  t.tm_min, t.tm_sec);
    return save_directory + name;
}

}  // namespace

EventCommandsPage::EventCommandsPage(Prompts& prompts, QWidget* parent)
    : SettingsPage(parent), prompts_(prompts) {
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    // A command line is long: each gets the page's width under its label.
    form->setRowWrapPolicy(QFormLayout::WrapAllRows);
    for (const CommandEvent event : kCommandEvents) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(CommandKey(event)));
        edit->setAccessibleName(Label(event));
        form->addRow(Label(event) + QStringLiteral(" (") + QString::fromLatin1(CommandKey(event)) +
                         QStringLiteral(")(&") + QString::number(form->rowCount() + 1) +
                         QStringLiteral("):"),
                     edit);
        commands_[static_cast<std::size_t>(event)] = edit;
    }
    timeout_ = new SpinEdit(this);
    timeout_->setObjectName(QStringLiteral("COMMAND_TIMEOUT_SECOND"));
    timeout_->SetRange(kLeastTimeout, kLongestTimeout);
    timeout_->setAccessibleName(tr("時間制限 (秒)"));
    layout->addLayout(form);
    auto* limit_form = new QFormLayout;
    limit_form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    limit_form->addRow(tr("時間制限 (秒)(&L):"), timeout_);
    cooldown_ = new SpinEdit(this);
    cooldown_->setObjectName(QStringLiteral("COOLDOWN_SECOND"));
    cooldown_->SetRange(0, kLongestCooldown);
    cooldown_->setAccessibleName(tr("最短の実行間隔 (秒)"));
    limit_form->addRow(tr("最短の実行間隔 (秒)(&I):"), cooldown_);
    layout->addLayout(limit_form);

    auto* note = new QLabel(
        tr("コマンドはシェルを通さずに実行します (シェルが要るときは sh -c '...' "
           "と書きます)。内容は環境変数 QUILLOMAT_EVENT, QUILLOMAT_PICTURE, "
           "QUILLOMAT_TIME, QUILLOMAT_TRIGGER, QUILLOMAT_CAMERA, QUILLOMAT_SKIPPED "
           "(前回の実行から実行しなかったイベントの数) で渡します。同じイベントのコマンドは"
           "最短の実行間隔 (0 は制限なし) をあけて実行します。"),
        this);
    note->setWordWrap(true);
    layout->addWidget(note);

    auto* test_row = new QHBoxLayout;
    test_event_ = new QComboBox(this);
    test_event_->setObjectName(QStringLiteral("test_event"));
    test_event_->setAccessibleName(tr("テストするイベント"));
    for (const CommandEvent event : kCommandEvents) test_event_->addItem(Label(event));
    test_ = new QPushButton(tr("テスト実行(&T)"), this);
    test_->setObjectName(QStringLiteral("test"));
    test_row->addWidget(test_event_, 1);
    test_row->addWidget(test_);
    layout->addLayout(test_row);
    result_ = new QLabel(this);
    result_->setObjectName(QStringLiteral("test_result"));
    result_->setWordWrap(true);
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(result_);
    layout->addStretch(1);

    look_.setInterval(std::chrono::milliseconds(EventCommands::kLookMs).count());
    connect(&look_, &QTimer::timeout, this, [this] { LookAtTest(); });
    connect(test_, &QPushButton::clicked, this, [this] { RunTest(); });
}

// A test still running ends with the page.
EventCommandsPage::~EventCommandsPage() = default;

QString EventCommandsPage::Title() const { return tr("コマンド"); }

QLineEdit* EventCommandsPage::CommandEdit(CommandEvent event) const {
    return commands_[static_cast<std::size_t>(event)];
}

void EventCommandsPage::Load(const DiarySettings& settings) {
    const EventCommandsSettings& commands = settings.Section<EventCommandsSettings>();
    for (const CommandEvent event : kCommandEvents)
        CommandEdit(event)->setText(QString::fromStdString(commands.*CommandField(event)));
    timeout_->SetPosition(commands.COMMAND_TIMEOUT_SECOND);
    timeout_->lineEdit()->setText(QString::number(commands.COMMAND_TIMEOUT_SECOND));
    cooldown_->SetPosition(commands.COOLDOWN_SECOND);
    cooldown_->lineEdit()->setText(QString::number(commands.COOLDOWN_SECOND));
    save_directory_ = settings.SAVE_DIRECTORY;
    camera_ = settings.SELECT;
}

bool EventCommandsPage::Validate() {
    std::int32_t seconds = 0;
    DataExchange dx(DataExchange::Direction::kFromControls, prompts_);
    dx.Int(timeout_->lineEdit(), seconds, kLeastTimeout, kLongestTimeout);
    dx.Int(cooldown_->lineEdit(), seconds, 0, kLongestCooldown);
    return !dx.Failed();
}

void EventCommandsPage::Store(DiarySettings& settings) const {
    EventCommandsSettings& commands = settings.Section<EventCommandsSettings>();
    for (const CommandEvent event : kCommandEvents)
        commands.*CommandField(event) = CommandEdit(event)->text().toStdString();
    std::int32_t seconds = 0;
    if (ParseSignedField(timeout_->lineEdit()->text().toStdString(), seconds))
        commands.COMMAND_TIMEOUT_SECOND = std::clamp(seconds, kLeastTimeout, kLongestTimeout);
    if (ParseSignedField(cooldown_->lineEdit()->text().toStdString(), seconds))
        commands.COOLDOWN_SECOND = std::clamp(seconds, 0, kLongestCooldown);
}

void EventCommandsPage::RunTest() {
    if (test_run_) return;
    const auto event = kCommandEvents[static_cast<std::size_t>(
        std::clamp(test_event_->currentIndex(), 0, static_cast<int>(kCommandEvents.size()) - 1))];
    test_key_ = CommandKey(event);
    const std::string line = CommandEdit(event)->text().toStdString();
    if (line.empty()) {
        result_->setText(
            tr("%1 にはコマンドがありません。").arg(QString::fromStdString(test_key_)));
        return;
    }
    const CommandWords words = SplitCommandLine(line);
    if (!words.error.empty()) {
        result_->setText(
            QString::fromStdString(CommandNotStartedLine(test_key_, words.error).shown));
        return;
    }
    CommandFacts facts;
    facts.event = event;
    facts.time = LocalNow();
    facts.camera = camera_;
    if (event == CommandEvent::kPicture) {
        facts.picture = PicturePathNow(save_directory_, facts.time);
        facts.trigger = "interval";
    }
    auto run = std::make_unique<ChildProcess>();
    std::string error;
    if (!run->Start(words.words, ProcessEnvironment(CommandEnvironment(facts)), error)) {
        result_->setText(QString::fromStdString(CommandNotStartedLine(test_key_, error).shown));
        return;
    }
    test_run_ = std::move(run);
    test_timeout_seconds_ = std::clamp(timeout_->Value(), kLeastTimeout, kLongestTimeout);
    test_started_ = std::chrono::steady_clock::now();
    test_kill_at_.reset();
    test_->setEnabled(false);
    result_->setText(tr("%1 のコマンドを実行中…").arg(QString::fromStdString(test_key_)));
    look_.start();
}

void EventCommandsPage::LookAtTest() {
    if (!test_run_) return look_.stop();
    const auto now = std::chrono::steady_clock::now();
    if (test_run_->Poll()) {
        if (!test_kill_at_ && now - test_started_ >= std::chrono::seconds(test_timeout_seconds_)) {
            test_run_->SignalGroup(SIGTERM);
            test_kill_at_ = now + EventCommands::kKillGrace;
        } else if (test_kill_at_ && now >= *test_kill_at_) {
            test_run_->SignalGroup(SIGKILL);
        }
        return;
    }
    look_.stop();
    const ChildProcess::Outcome outcome = *test_run_->outcome();
    QString text;
    if (test_kill_at_) {
        test_run_->SignalGroup(SIGKILL);
        text = QString::fromStdString(CommandTimeOutLine(test_key_, test_timeout_seconds_).shown);
    } else if (outcome.Succeeded()) {
        const double seconds = std::chrono::duration<double>(now - test_started_).count();
        text = tr("%1 のコマンドは終了コード 0 で%2 秒で終わりました")
                   .arg(QString::fromStdString(test_key_), QString::number(seconds, 'f', 1));
        if (!outcome.first_error_line.empty())
            text += QStringLiteral(": ") + QString::fromStdString(outcome.first_error_line);
    } else {
        text = QString::fromStdString(CommandOutcomeLine(test_key_, outcome).shown);
    }
    result_->setText(text);
    test_run_.reset();
    test_->setEnabled(true);
}

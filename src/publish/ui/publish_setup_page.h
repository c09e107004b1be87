#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QTimer>
#include <string>

#include "settings/ui/extra_setup_dialog.h"

class Prompts;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

inline constexpr const char* kCredentialsInRemotePrompt = QT_TRANSLATE_NOOP(
    "PublishSetupPage",
    "パスワードや鍵は公開先に書かず、rcloneの設定ファイルに置いてください（rclone config）。");

// "公開": the remote, rclone's configuration file, how often pages go and the
// bandwidth limit, with a button that asks rclone to list the remote and
// shows what it answered. Secret values of a connection string show as
// "***" and keep their stored values; new ones are refused, since
// credentials belong in rclone's configuration.
class PublishSetupPage final : public SettingsPage {
    Q_DECLARE_TR_FUNCTIONS(PublishSetupPage)

public:
    explicit PublishSetupPage(Prompts& prompts, QWidget* parent = nullptr);
    ~PublishSetupPage() override;

    QString Title() const override;
    void Load(const DiarySettings& settings) override;
    bool Validate() override;
    void Store(DiarySettings& settings) const override;

    // The test button's work: runs rclone on the fields as they stand; the
    // answer comes into CheckResult() when it ends.
    void CheckRemote();
    bool Checking() const;

    QLineEdit* RemoteEdit() const { return remote_; }
    QLineEdit* ConfigEdit() const { return config_; }
    QLineEdit* IntervalEdit() const { return interval_; }
    QLineEdit* BandwidthEdit() const { return bwlimit_; }
    QPushButton* CheckButton() const { return check_; }
    QPlainTextEdit* CheckResult() const { return result_; }

    // The program the check runs; a name is looked up on PATH.
    void SetRclone(std::string rclone) { rclone_ = std::move(rclone); }

private:
    // The remote as it will be stored: masked values back as they were.
    std::string RemoteValue() const;
    void CheckEnded(int exit_code);

    Prompts& prompts_;
    std::string rclone_ = "rclone";
    std::string loaded_remote_;
    QLineEdit* remote_ = nullptr;
    QLineEdit* config_ = nullptr;
    QLineEdit* interval_ = nullptr;
    QLineEdit* bwlimit_ = nullptr;
    QPushButton* check_ = nullptr;
    QPlainTextEdit* result_ = nullptr;
    QProcess* process_ = nullptr;
    QTimer check_limit_;
    std::string checked_remote_;
};

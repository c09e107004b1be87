#pragma once

#include <QCoreApplication>
#include <QFutureWatcher>
#include <QString>
#include <string>

#include "settings/ui/extra_setup_dialog.h"

class Prompts;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class SpinEdit;

// "MQTT": the broker, its TLS and user, the file that holds the password,
// the topic and Home Assistant's discovery, with a button that connects once
// with the fields as they stand. The test runs on Qt's thread pool, so the
// dialog never waits for a broker; a page closed meanwhile drops its answer.
class MqttPage final : public SettingsPage {
    Q_DECLARE_TR_FUNCTIONS(MqttPage)

public:
    // `settings_directory`: where relative paths lie ("/" at the end).
    MqttPage(Prompts& prompts, std::string settings_directory, QWidget* parent = nullptr);
    ~MqttPage() override;

    QString Title() const override;
    void Load(const DiarySettings& settings) override;
    bool Validate() override;
    void Store(DiarySettings& settings) const override;

    void TestConnection();
    // From the press until the answer is shown.
    bool Testing() const { return testing_; }

    QLineEdit* HostEdit() const { return host_; }
    SpinEdit* PortEdit() const { return port_; }
    QLineEdit* CaEdit() const { return ca_; }
    QLineEdit* UserEdit() const { return user_; }
    QLineEdit* PasswordFileEdit() const { return password_file_; }
    QLineEdit* TopicEdit() const { return topic_; }
    QCheckBox* DiscoveryBox() const { return discovery_; }
    QLineEdit* DiscoveryPrefixEdit() const { return discovery_prefix_; }
    QPushButton* TestButton() const { return test_; }
    QLabel* TestResult() const { return result_; }

private:
    Prompts& prompts_;
    std::string settings_directory_;
    QLineEdit* host_ = nullptr;
    SpinEdit* port_ = nullptr;
    QLineEdit* ca_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_file_ = nullptr;
    QLineEdit* topic_ = nullptr;
    QCheckBox* discovery_ = nullptr;
    QLineEdit* discovery_prefix_ = nullptr;
    QPushButton* test_ = nullptr;
    QLabel* result_ = nullptr;
    QFutureWatcher<std::string> watcher_;
    bool testing_ = false;
};

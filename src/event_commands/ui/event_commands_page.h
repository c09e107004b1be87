#pragma once

#include <QCoreApplication>
#include <QTimer>
#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "event_commands/event_commands.h"
#include "settings/ui/extra_setup_dialog.h"

class Prompts;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class SpinEdit;

// "コマンド": the four commands on events, their time limit and cooldown, and a button
// that runs one of them with test values and shows what it did. The test
// runs beside the dialog (the tab looks at it every 50 ms), under the time
// limit in the field, and ends with the page.
class EventCommandsPage final : public SettingsPage {
    Q_DECLARE_TR_FUNCTIONS(EventCommandsPage)

public:
    explicit EventCommandsPage(Prompts& prompts, QWidget* parent = nullptr);
    ~EventCommandsPage() override;

    QString Title() const override;
    void Load(const DiarySettings& settings) override;
    bool Validate() override;
    void Store(DiarySettings& settings) const override;

    QLineEdit* CommandEdit(CommandEvent event) const;
    SpinEdit* TimeoutEdit() const { return timeout_; }
    SpinEdit* CooldownEdit() const { return cooldown_; }
    QComboBox* TestChoice() const { return test_event_; }
    QPushButton* TestButton() const { return test_; }
    QLabel* TestResult() const { return result_; }

private:
    void RunTest();
    void LookAtTest();

    Prompts& prompts_;
    std::array<QLineEdit*, kCommandEvents.size()> commands_{};
    SpinEdit* timeout_ = nullptr;
    SpinEdit* cooldown_ = nullptr;
    QComboBox* test_event_ = nullptr;
    QPushButton* test_ = nullptr;
    QLabel* result_ = nullptr;
    QTimer look_;
    // The test values: where a picture would go now, and the camera.
    std::string save_directory_;
    std::string camera_;
    std::unique_ptr<ChildProcess> test_run_;
    std::string test_key_;
    int test_timeout_seconds_ = 0;
    std::chrono::steady_clock::time_point test_started_{};
    std::optional<std::chrono::steady_clock::time_point> test_kill_at_;
};

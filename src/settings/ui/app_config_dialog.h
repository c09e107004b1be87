#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>

class DataExchange;
class Prompts;
class QCheckBox;
class QPushButton;
class QSlider;
class SharedSettings;
class SpinEdit;
struct DiarySettings;

// As designed; the dialog asks in the interface's language.
inline constexpr const char* kNoLogFileMessage =
    QT_TRANSLATE_NOOP("CAppConfigDlg", "ログファイルが存在しません");
inline constexpr const char* kDeleteLogFileQuestion =
    QT_TRANSLATE_NOOP("CAppConfigDlg", "ログファイルを削除します");
inline constexpr const char* kCreateShortcutQuestion = QT_TRANSLATE_NOOP(
    "CAppConfigDlg", "スタートアップフォルダにQuillomatのショートカットを作成します");
inline constexpr const char* kNoShortcutMessage =
    QT_TRANSLATE_NOOP("CAppConfigDlg", "ショートカットが存在しません");
inline constexpr const char* kDeleteShortcutQuestion = QT_TRANSLATE_NOOP(
    "CAppConfigDlg", "スタートアップフォルダのQuillomatのショートカットを削除します");

struct AppConfigServices {
    // Its APPLICATION fields are the dialog's variables.
    SharedSettings& settings;
    Prompts& prompts;
    // The folder of "log.txt", ending in "/".
    std::function<std::string()> app_directory;
    // Opens a file with the desktop's program for it; unset: QDesktopServices.
    std::function<void(const std::string& path)> open_file = {};
    // The autostart folder; unset: GetStartupFolder().
    std::function<std::string()> startup_folder = {};
    // The program the start-up entry runs; unset: this executable.
    std::function<std::string()> executable = {};
};

// "アプリケーション設定": start-up, log file, close button and JPEG quality,
// with the log file and start-up entry actions, which work at once. Lives as
// long as the main window and is shown modally while the worker runs. OK
// takes the fields over only when every check passes; Cancel leaves the
// settings as they were when the dialog opened.
class CAppConfigDlg : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(CAppConfigDlg)

public:
    explicit CAppConfigDlg(AppConfigServices services, QWidget* parent = nullptr);

    // true: controls into the settings when every check passes (a failed
    // check stores nothing); false: the settings into the controls. The
    // quality slider takes no part.
    bool UpdateData(bool save_and_validate);

    // "ログファイルを開く", "ログファイルを削除", "ショートカット作成", "ショートカット削除".
    void OpenLogFile();
    void DeleteLogFile();
    void CreateStartupShortcut();
    void DeleteStartupShortcut();

    QSlider* QualitySlider() const { return quality_; }

protected:
    void showEvent(QShowEvent* event) override;
    void accept() override;
    void done(int result) override;

private:
    void OnInitDialog();
    void Exchange(DataExchange& dx, DiarySettings& s);
    // The slider let go of the mouse: its position is the quality from now on.
    void OnQualityReleased();
    std::string StartupFolder() const;

    AppConfigServices services_;
    bool open_ = false;
    std::int32_t opened_quality_ = 0;

    SpinEdit* startup_timer_ = nullptr;
    QCheckBox* startup_dialog_ = nullptr;
    QCheckBox* log_file_ = nullptr;
    QCheckBox* close_cancel_ = nullptr;
    QSlider* quality_ = nullptr;
};

// The main window's application settings command (menu 32796): shows the
// dialog modally and nothing else, whatever its result; the diary keeps
// running and nothing is saved. `run` runs it modally (empty: exec()).
void RunAppConfigCommand(CAppConfigDlg& dialog, const std::function<int(QDialog&)>& run = {});

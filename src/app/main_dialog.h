#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QString>
#include <QUrl>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "capture/capture_window.h"
#include "diary/snapshot.h"
#include "engine/diary_engine.h"

class CAppConfigDlg;
class CDiarySetupDialog;
class CExtraSetupDialog;
class CHtmlSetupDialog;
class CTimeTextSetupDialog;
class CImageButton;
class PreviewView;
class Clock;
class DeviceChooser;
class DeviceDialogs;
class Prompts;
class QAction;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QSystemTrayIcon;

// What the main window reaches through seams; null members take the real
// thing (message boxes, dialogs, the desktop's tray and browser).
struct MainDialogSeams {
    Clock& clock;
    Prompts* prompts = nullptr;
    DeviceChooser* chooser = nullptr;
    DeviceDialogs* dialogs = nullptr;
    SnapshotView* snapshot_view = nullptr;
    // Runs a modal dialog of the main window (the settings dialogs and the
    // version information).
    std::function<int(QDialog&)> run_dialog = {};
    // The capture settings dialog's folder browser.
    std::function<std::optional<std::string>(QWidget* owner)> choose_folder = {};
    std::function<void(const QUrl&)> open_url = {};
    // Asked at every minimise: a desktop without a tray keeps the window on
    // the task bar.
    std::function<bool()> tray_available = {};
    // Called once the window has closed and shut the engine down.
    std::function<void()> on_closed = {};
    std::function<std::string()> app_directory = {};
    bool system_devices = true;
    // Shorter than the designed ones in tests only.
    DiaryEngineDelays delays = {};
};

// The window's commands, one QAction each: the menu bar's entries (the tray
// menu shares the snapshot and the exit) and the tray's show and hide. Every
// one has its own slot; the image buttons call the slots of theirs (the
// on-air switch is a button only).
struct MainDialogActions {
    QAction* snapshot = nullptr;
    QAction* exit = nullptr;
    QAction* app_settings = nullptr;
    QAction* capture_settings = nullptr;
    QAction* html_settings = nullptr;
    QAction* time_text_settings = nullptr;
    QAction* extra_settings = nullptr;
    QAction* device_change = nullptr;
    QAction* device_settings = nullptr;
    QAction* device_properties = nullptr;
    QAction* home_page = nullptr;
    QAction* about = nullptr;
    QAction* show_hide = nullptr;
};

// The main window for the life of the process: preview, six image buttons,
// the log box, the menu bar and the tray icon with its menu. It owns the
// diary engine. User interface thread only, except RequestShutdown.
class CMainDialog : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(CMainDialog)

public:
    // The image buttons, left to right.
    enum class MainButton {
        kSnapshot,
        kDeviceChange,
        kDeviceSettings,
        kDeviceProperties,
        kCaptureSettings,
        kOnAir,
    };

    explicit CMainDialog(MainDialogSeams seams, QWidget* parent = nullptr);
    ~CMainDialog() override;

    // The engine's start-up with the window's seams: the first run's device
    // choice and dialogs, and after a failed build the prompt that offers to
    // quit; No leaves the window open without a picture while the engine
    // looks for a camera. False when the user chose to quit: the window has
    // then closed.
    bool Initialise();

    // The commands' slots. An entry of a menu reaches its slot queued, once
    // the menu has closed; a button and a direct call at once.
    void OnSnapshot();
    void OnExit();
    void OnAppSettings();
    void OnCaptureSettings();
    void OnHtmlSettings();
    void OnTimeTextSettings();
    void OnExtraSettings();
    void OnDeviceChange();
    void OnDeviceSettings();
    void OnDeviceProperties();
    void OnHomePage();
    void OnAbout();
    void OnShowHide();
    void OnOnAir();

    // Any thread (a stop signal): ends the waits of a build under way and
    // closes the window as "終了(&X)" does.
    void RequestShutdown();

    // The close request of "終了(&X)": closes whatever CLOSECANCEL says.
    void RequestClose();
    bool Closed() const { return closed_; }

    // The tray icon was clicked (left) or asked for its menu (right).
    void OnTrayClicked();
    // Prepares the tray menu for a right click; null while a modal dialog is
    // open.
    QMenu* PrepareTrayMenu();
    void ToggleMinimised();

    DiaryEngine& Engine() { return *engine_; }
    QMenuBar* MenuBar() const { return menu_bar_; }
    QMenu* TrayMenu() const { return tray_menu_; }
    QSystemTrayIcon* TrayIcon() const { return tray_; }
    const MainDialogActions& Actions() const { return actions_; }
    CImageButton* Button(MainButton button) const;
    PreviewView* Preview() const { return preview_; }
    CDiarySetupDialog& DiarySetup() const { return *diary_setup_; }
    CHtmlSetupDialog& HtmlSetup() const { return *html_setup_; }
    CAppConfigDlg& AppConfig() const { return *app_config_; }
    CTimeTextSetupDialog& TimeTextSetup() const { return *time_text_setup_; }
    CExtraSetupDialog& ExtraSetup() const { return *extra_setup_; }
    QPlainTextEdit* LogBox() const { return log_box_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

public:
    void accept() override {}
    void reject() override {}

private:
    class WindowSeam;

    void BuildLayout();
    void BuildActions();
    void BuildMenus();
    void SetupButtons();
    void ShowLog(const ActivityLog::Change& change);

    // Runs a command: none once the window has closed, and a close asked for
    // meanwhile waits until it has unwound.
    void RunCommand(const std::function<void()>& command);
    // A command's build. When it fails the user may quit, which hides and
    // closes the window; else the engine looks for a camera. True when built.
    bool BuildOrWait(bool keepDevice, bool configureDevice);
    // After a settings command's rebuild was given up at the prompt.
    void QuitAfterFailedRebuild();
    void TakeSnapshotCommand();
    void ToggleOnAir();
    void ShowOnAir(bool on);
    void ShowAbout();
    void Restore();
    void Minimise();
    // In the tray: hidden, or minimised where there is no tray.
    bool AwayFromScreen() const;
    void Close();

    Clock& clock_;
    MainDialogSeams seams_;
    std::unique_ptr<Prompts> own_prompts_;
    std::unique_ptr<DeviceChooser> own_chooser_;
    std::unique_ptr<DeviceDialogs> own_dialogs_;
    std::unique_ptr<SnapshotView> own_snapshot_view_;
    std::unique_ptr<WindowSeam> window_seam_;
    Prompts* prompts_;
    SnapshotView* snapshot_view_;

    QMenuBar* menu_bar_ = nullptr;
    PreviewView* preview_ = nullptr;
    QPlainTextEdit* log_box_ = nullptr;
    std::map<MainButton, CImageButton*> buttons_;
    MainDialogActions actions_;
    QMenu* tray_menu_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;

    // Commands (and the initialisation) under way: a close asked for
    // meanwhile waits until they have unwound.
    int busy_ = 0;
    bool initialising_ = false;
    bool close_pending_ = false;
    bool closed_ = false;
    // From a restore until the window is painted, so on screen: a window
    // manager that maps it iconic meanwhile (its map raced the restore) is
    // asked again.
    bool restoring_ = false;
    int restore_retries_ = 0;

    // Last, so that it goes first: its threads end while the rest exists.
    std::unique_ptr<DiaryEngine> engine_;
    // The settings dialogs live as long as the window and work on the
    // engine's settings, so they go before it.
    std::unique_ptr<CDiarySetupDialog> diary_setup_;
    std::unique_ptr<CHtmlSetupDialog> html_setup_;
    std::unique_ptr<CAppConfigDlg> app_config_;
    std::unique_ptr<CTimeTextSetupDialog> time_text_setup_;
    std::unique_ptr<CExtraSetupDialog> extra_setup_;
};

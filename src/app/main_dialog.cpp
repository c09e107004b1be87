#include "app/main_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QWindowStateChangeEvent>

#include "app/about_dialog.h"
#include "app/diary_jobs.h"
#include "app/diary_setup_command.h"
#include "app/extra_setup_command.h"
#include "app/extra_setup_pages.h"
#include "app/home_page.h"
#include "app/html_setup_command.h"
#include "app/message_box_prompts.h"
#include "app/resources/app_resources.h"
#include "app/time_text_setup_command.h"
#include "capture/device_names.h"
#include "capture/frame_grab.h"
#include "capture/ui/device_property_dialogs.h"
#include "capture/ui/device_select_dialog.h"
#include "capture/ui/preview_view.h"
#include "controls/dialog_units.h"
#include "controls/image_button.h"
#include "diary/ui/diary_setup_dialog.h"
#include "diary/ui/snapshot_dialog.h"
#include "settings/app_directory.h"
#include "settings/ui/app_config_dialog.h"
#include "settings/ui/extra_setup_dialog.h"
#include "settings/ui/html_setup_dialog.h"
#include "settings/ui/time_text_setup_dialog.h"

namespace {

struct ButtonSpec {
    CMainDialog::MainButton button;
    int x;
    const char* caption;
    const char* tooltip;
    // Its icon; the lit one under the pointer is "<icon>_hover".
    const char* icon;
};

// The main window's buttons: 31 x 36 units each, in one row at y 175.
constexpr ButtonSpec kButtons[] = {
    {CMainDialog::MainButton::kSnapshot, 37, QT_TRANSLATE_NOOP("CMainDialog", "スナップショット"),
     QT_TRANSLATE_NOOP("CMainDialog", "スナップショット"), "snapshot"},
    {CMainDialog::MainButton::kDeviceChange, 68,
     QT_TRANSLATE_NOOP("CMainDialog", "入力デバイス変更"),
     QT_TRANSLATE_NOOP("CMainDialog", "入力機器変更"), "device_change"},
    {CMainDialog::MainButton::kDeviceSettings, 99, QT_TRANSLATE_NOOP("CMainDialog", "入力設定"),
     QT_TRANSLATE_NOOP("CMainDialog", "入力設定"), "device_settings"},
    {CMainDialog::MainButton::kDeviceProperties, 130,
     QT_TRANSLATE_NOOP("CMainDialog", "入力のプロパティ"),
     QT_TRANSLATE_NOOP("CMainDialog", "入力プロパティ"), "device_properties"},
    {CMainDialog::MainButton::kCaptureSettings, 161, QT_TRANSLATE_NOOP("CMainDialog", "Diary設定"),
     QT_TRANSLATE_NOOP("CMainDialog", "キャプチャ設定"), "capture_settings"},
    {CMainDialog::MainButton::kOnAir, 192, "ON/OFF", QT_TRANSLATE_NOOP("CMainDialog", "ON/OFF切替"),
     nullptr},
};

QString OnAirIcon(bool on) { return on ? QStringLiteral("on_air") : QStringLiteral("off_air"); }

// Mouse releases never reach the main window here, so the press stands for
// the release of the designed notification.
bool IsTrayClick(QSystemTrayIcon::ActivationReason reason) {
    return reason == QSystemTrayIcon::Trigger;
}

}  // namespace

// The capture graph's view of the window: calls may come from the worker's
// recovery build while it holds the graph lock, so they only queue.
class CMainDialog::WindowSeam final : public CaptureWindow {
public:
    explicit WindowSeam(CMainDialog* owner) : owner_(owner) {}

    void PostTitle(const std::string& title) override {
        QMetaObject::invokeMethod(
            owner_,
            [owner = owner_, text = QString::fromStdString(title)] { owner->setWindowTitle(text); },
            Qt::QueuedConnection);
    }
    void PostPreviewSource(std::shared_ptr<PreviewSource> source) override {
        QMetaObject::invokeMethod(
            owner_,
            [owner = owner_, source = std::move(source)] { owner->preview_->SetSource(source); },
            Qt::QueuedConnection);
    }

private:
    CMainDialog* owner_;
};

CMainDialog::CMainDialog(MainDialogSeams seams, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      clock_(seams.clock),
      seams_(std::move(seams)),
      window_seam_(std::make_unique<WindowSeam>(this)) {
    if (!seams_.app_directory) seams_.app_directory = [] { return GetAppDirectory(); };
    if (!seams_.run_dialog) seams_.run_dialog = [](QDialog& dialog) { return dialog.exec(); };
    if (!seams_.open_url) seams_.open_url = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    if (!seams_.tray_available)
        seams_.tray_available = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    if (!seams_.on_closed) seams_.on_closed = [] { QCoreApplication::quit(); };

    prompts_ = seams_.prompts;
    if (prompts_ == nullptr) {
        own_prompts_ = std::make_unique<MessageBoxPrompts>(this);
        prompts_ = own_prompts_.get();
    }
    DeviceChooser* chooser = seams_.chooser;
    if (chooser == nullptr) {
        own_chooser_ = std::make_unique<QtDeviceChooser>(this);
        chooser = own_chooser_.get();
    }
    DeviceDialogs* dialogs = seams_.dialogs;
    if (dialogs == nullptr) {
        own_dialogs_ = std::make_unique<QtDeviceDialogs>(this);
        dialogs = own_dialogs_.get();
    }
    snapshot_view_ = seams_.snapshot_view;
    if (snapshot_view_ == nullptr) {
        own_snapshot_view_ = std::make_unique<QtSnapshotView>(this);
        snapshot_view_ = own_snapshot_view_.get();
    }

    setWindowTitle(QStringLiteral("Quillomat"));
    setWindowIcon(AppIcon());
    // The menus first: the menu bar's height depends on its entries.
    menu_bar_ = new QMenuBar(this);
    BuildActions();
    BuildMenus();
    BuildLayout();

    engine_ = std::make_unique<DiaryEngine>(
        DiaryEngineSeams{clock_, *prompts_, *chooser, dialogs, *window_seam_,
                         [this](const ActivityLog::Change& change) { ShowLog(change); },
                         seams_.app_directory, seams_.system_devices, seams_.delays});
    // The smart home switches it too.
    engine_->SetOnAirListener([this](bool on) { ShowOnAir(on); });
    AttachDiaryJobs(*engine_);
    diary_setup_ = std::make_unique<CDiarySetupDialog>(
        DiarySetupServices{engine_->Settings(), *prompts_, clock_, seams_.system_devices,
                           seams_.choose_folder},
        this);
    html_setup_ = std::make_unique<CHtmlSetupDialog>(
        HtmlSetupServices{engine_->Settings(), *prompts_, seams_.app_directory}, this);
    app_config_ = std::make_unique<CAppConfigDlg>(
        AppConfigServices{engine_->Settings(), *prompts_, seams_.app_directory,
                          [this](const std::string& path) {
                              seams_.open_url(QUrl::fromLocalFile(QString::fromStdString(path)));
                          }},
        this);
    time_text_setup_ = std::make_unique<CTimeTextSetupDialog>(
        TimeTextSetupServices{engine_->Settings(), *prompts_, {}, {}}, this);
    extra_setup_ = std::make_unique<CExtraSetupDialog>(engine_->Settings(), this);
    AddExtraSetupPages(*extra_setup_, *engine_, *prompts_);
}

CMainDialog::~CMainDialog() {
    Close();
    extra_setup_.reset();
    time_text_setup_.reset();
    app_config_.reset();
    html_setup_.reset();
    diary_setup_.reset();
    engine_.reset();
}

void CMainDialog::BuildLayout() {
    setFont(DialogFont(QStringLiteral("MS UI Gothic"), 9));
    const DialogUnits units(font());

    const int menu_height = menu_bar_->sizeHint().height();
    const QSize client = units.Size(230, 320);
    menu_bar_->setGeometry(0, 0, client.width(), menu_height);
    setFixedSize(client.width(), menu_height + client.height());

    auto* area = new QWidget(this);
    area->setGeometry(0, menu_height, client.width(), client.height());
    // Static controls and the log box are painted on white.
    area->setAutoFillBackground(true);
    QPalette white = area->palette();
    white.setColor(QPalette::Window, Qt::white);
    area->setPalette(white);

    // A static bitmap shows the picture at its own size, cut by the control.
    auto* band = new QLabel(area);
    band->setGeometry(units.Rect(7, 7, 27, 307));
    band->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    band->setPixmap(SideBandBitmap());

    preview_ = new PreviewView(area);
    preview_->setFixedSize(320, 240);
    preview_->setAccessibleName(tr("プレビュー"));
    preview_->SetPlaceholder(PreviewPlaceholderBitmap());
    preview_->move(units.X(38), units.Y(7));

    // A button runs its command at once, as the menu entry of the same
    // command does once its menu has closed.
    const std::map<MainButton, void (CMainDialog::*)()> commands = {
        {MainButton::kSnapshot, &CMainDialog::OnSnapshot},
        {MainButton::kDeviceChange, &CMainDialog::OnDeviceChange},
        {MainButton::kDeviceSettings, &CMainDialog::OnDeviceSettings},
        {MainButton::kDeviceProperties, &CMainDialog::OnDeviceProperties},
        {MainButton::kCaptureSettings, &CMainDialog::OnCaptureSettings},
        {MainButton::kOnAir, &CMainDialog::OnOnAir},
    };
    for (const ButtonSpec& spec : kButtons) {
        auto* button = new CImageButton(area);
        button->setGeometry(units.Rect(spec.x, 175, 31, 36));
        button->setText(tr(spec.caption));
        buttons_[spec.button] = button;
        connect(button, &QPushButton::clicked, this, commands.at(spec.button));
    }

    log_box_ = new QPlainTextEdit(area);
    log_box_->setObjectName(QStringLiteral("log"));
    log_box_->setGeometry(units.Rect(38, 217, 184, 96));
    log_box_->setReadOnly(true);
    log_box_->setLineWrapMode(QPlainTextEdit::NoWrap);
    log_box_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log_box_->setAccessibleName(tr("ログ"));
    QPalette log_palette = log_box_->palette();
    log_palette.setColor(QPalette::Base, Qt::white);
    log_box_->setPalette(log_palette);
}

void CMainDialog::BuildActions() {
    auto make = [this](QAction*& action, const char* name, const QString& text,
                       void (CMainDialog::*slot)()) {
        action = new QAction(text, this);
        action->setObjectName(QString::fromLatin1(name));
        // Queued, as a command posted once the menu has closed: whoever
        // chose the entry (a screen reader too) gets its answer before a
        // modal dialog of the command runs.
        connect(action, &QAction::triggered, this, slot, Qt::QueuedConnection);
    };
    MainDialogActions& a = actions_;
    make(a.snapshot, "snapshot", tr("スナップショット(&P)"), &CMainDialog::OnSnapshot);
    make(a.exit, "exit", tr("終了(&X)"), &CMainDialog::OnExit);
    make(a.app_settings, "app_settings", tr("アプリケーション設定(&S)"),
         &CMainDialog::OnAppSettings);
    make(a.capture_settings, "capture_settings", tr("キャプチャ設定(&M)"),
         &CMainDialog::OnCaptureSettings);
    make(a.html_settings, "html_settings", tr("HTML出力設定(&H)"), &CMainDialog::OnHtmlSettings);
    make(a.time_text_settings, "time_text_settings", tr("日時表示設定(&T)"),
         &CMainDialog::OnTimeTextSettings);
    make(a.extra_settings, "extra_settings", tr("拡張設定(&E)"), &CMainDialog::OnExtraSettings);
    make(a.device_change, "device_change", tr("変更(&C)"), &CMainDialog::OnDeviceChange);
    make(a.device_settings, "device_settings", tr("設定(&S)"), &CMainDialog::OnDeviceSettings);
    make(a.device_properties, "device_properties", tr("プロパティ(&P)"),
         &CMainDialog::OnDeviceProperties);
    make(a.home_page, "home_page", tr("ホームページ(&H)"), &CMainDialog::OnHomePage);
    make(a.about, "about", tr("バージョン情報(&A)"), &CMainDialog::OnAbout);
    make(a.show_hide, "show_hide", tr("表示/非表示(&S)"), &CMainDialog::OnShowHide);
}

void CMainDialog::BuildMenus() {
    const MainDialogActions& a = actions_;
    QMenu* file = menu_bar_->addMenu(tr("ファイル(&F)"));
    file->addAction(a.snapshot);
    file->addSeparator();
    file->addAction(a.exit);

    QMenu* settings = menu_bar_->addMenu(tr("各種設定(&S)"));
    settings->addActions({a.app_settings, a.capture_settings, a.html_settings, a.time_text_settings,
                          a.extra_settings});

    QMenu* device = menu_bar_->addMenu(tr("入力機器(&D)"));
    device->addActions({a.device_change, a.device_settings, a.device_properties});

    QMenu* help = menu_bar_->addMenu(tr("ヘルプ(&H)"));
    help->addAction(a.home_page);
    help->addSeparator();
    help->addAction(a.about);

    tray_menu_ = new QMenu(tr("タスクトレイ"), this);
    tray_menu_->addAction(a.show_hide);
    tray_menu_->addSeparator();
    tray_menu_->addAction(a.snapshot);
    tray_menu_->addSeparator();
    tray_menu_->addAction(a.exit);
}

void CMainDialog::SetupButtons() {
    for (const ButtonSpec& spec : kButtons) {
        CImageButton* button = buttons_[spec.button];
        button->setText(QString());
        if (spec.icon != nullptr) {
            const QString icon = QString::fromLatin1(spec.icon);
            button->SetIcons(ButtonIcon(icon + QStringLiteral("_hover")), ButtonIcon(icon));
        }
        button->SetToolTipText(tr(spec.tooltip));
    }
    const QIcon on_air = ButtonIcon(OnAirIcon(engine_->Settings().OnAir()));
    buttons_[MainButton::kOnAir]->SetIcons(on_air, on_air);
}

bool CMainDialog::Initialise() {
    ++busy_;
    // The tray icon lives from here until the window is destroyed.
    tray_ = new QSystemTrayIcon(AppIcon(), this);
    tray_->setToolTip(QStringLiteral("Quillomat"));
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (IsTrayClick(reason)) {
                    OnTrayClicked();
                } else if (reason == QSystemTrayIcon::Context) {
                    if (QMenu* menu = PrepareTrayMenu()) menu->popup(QCursor::pos());
                }
            });
    tray_->show();

    DiaryStartUpSeams seams;
    seams.remark = [this](const std::string& text) { engine_->Log().AddLogLine(text); };
    seams.ask_quit = [this] { return prompts_->AskYesNo(GraphFailedPrompt()); };
    seams.first_run_asks = true;
    seams.first_run_dialogs = [this] {
        // A camera found later starts the first run from a timer: the window
        // is busy with it as with a command.
        ++busy_;
        const bool kept =
            RunFirstRunDiarySetup(*engine_, *diary_setup_, *prompts_, seams_.run_dialog);
        // Its result does not matter.
        if (kept) RunAppConfigCommand(*app_config_, seams_.run_dialog);
        --busy_;
        // Later, not inside the engine's retry that called this.
        if (!kept && !initialising_) {
            QMetaObject::invokeMethod(
                this, [this] { QuitAfterFailedRebuild(); }, Qt::QueuedConnection);
        }
        if (close_pending_ && busy_ == 0) Close();
        return kept;
    };
    seams.may_retry = [this] { return busy_ == 0 && !closed_; };
    initialising_ = true;
    const StartUpOutcome outcome = engine_->StartUp(std::move(seams));
    initialising_ = false;
    if (outcome == StartUpOutcome::kQuit) {
        QuitAfterFailedRebuild();
    } else {
        SetupButtons();
    }
    --busy_;
    if (close_pending_) Close();
    return outcome == StartUpOutcome::kRunning && !closed_;
}

bool CMainDialog::BuildOrWait(bool keepDevice, bool configureDevice) {
    if (engine_->BuildCaptureGraph(keepDevice, configureDevice)) return true;
    if (engine_->ShutdownRequest().IsSet()) return false;
    if (prompts_->AskYesNo(GraphFailedPrompt())) {
        QuitAfterFailedRebuild();
        return false;
    }
    // No picture until a camera answers; the menus stay usable meanwhile.
    engine_->WaitForCamera();
    return false;
}

void CMainDialog::RunCommand(const std::function<void()>& command) {
    if (closed_) return;
    ++busy_;
    command();
    --busy_;
    if (close_pending_ && busy_ == 0) Close();
}

void CMainDialog::OnSnapshot() {
    RunCommand([this] { TakeSnapshotCommand(); });
}

void CMainDialog::OnExit() {
    RunCommand([this] { RequestClose(); });
}

void CMainDialog::OnAppSettings() {
    RunCommand([this] { RunAppConfigCommand(*app_config_, seams_.run_dialog); });
}

void CMainDialog::OnCaptureSettings() {
    RunCommand([this] {
        if (!RunDiarySetupCommand(*engine_, *diary_setup_, *prompts_, seams_.run_dialog))
            QuitAfterFailedRebuild();
    });
}

void CMainDialog::OnHtmlSettings() {
    RunCommand([this] {
        if (!RunHtmlSetupCommand(*engine_, *html_setup_, *prompts_, seams_.run_dialog))
            QuitAfterFailedRebuild();
    });
}

void CMainDialog::OnTimeTextSettings() {
    RunCommand([this] { RunTimeTextSetupCommand(*time_text_setup_, seams_.run_dialog); });
}

void CMainDialog::OnExtraSettings() {
    RunCommand([this] { RunExtraSetupCommand(*engine_, *extra_setup_, seams_.run_dialog); });
}

void CMainDialog::OnDeviceChange() {
    RunCommand([this] {
        engine_->ReleaseCaptureGraph();
        if (BuildOrWait(false, false)) engine_->SaveSettings();
    });
}

void CMainDialog::OnDeviceSettings() {
    RunCommand([this] {
        engine_->ReleaseCaptureGraph();
        if (BuildOrWait(false, true)) engine_->SaveSettings();
    });
}

void CMainDialog::OnDeviceProperties() {
    RunCommand([this] {
        engine_->Capture().ShowFilterPropertyPages();
        engine_->SaveSettings();
    });
}

void CMainDialog::OnHomePage() {
    RunCommand([this] { seams_.open_url(HomePageUrl()); });
}

void CMainDialog::OnAbout() {
    RunCommand([this] { ShowAbout(); });
}

void CMainDialog::OnShowHide() {
    RunCommand([this] { ToggleMinimised(); });
}

void CMainDialog::OnOnAir() {
    RunCommand([this] { ToggleOnAir(); });
}

void CMainDialog::QuitAfterFailedRebuild() {
    // A stop signal under way closes the window by itself.
    if (engine_->ShutdownRequest().IsSet()) return;
    hide();
    RequestClose();
}

void CMainDialog::TakeSnapshotCommand() {
    DiaryEngine& engine = *engine_;
    TakeSnapshot(SnapshotContext{engine.Capture(), engine.Graph(), clock_, engine.ShutdownRequest(),
                                 engine.Settings(), *prompts_, *snapshot_view_,
                                 seams_.app_directory()});
}

void CMainDialog::ToggleOnAir() { engine_->SetOnAir(!engine_->Settings().OnAir()); }

void CMainDialog::ShowOnAir(bool on) {
    const QIcon icon = ButtonIcon(OnAirIcon(on));
    buttons_[MainButton::kOnAir]->SetIcons(icon, icon);
}

void CMainDialog::ShowAbout() {
    hide();
    CAboutDialog about(this);
    seams_.run_dialog(about);
    if (!closed_) show();
}

void CMainDialog::ShowLog(const ActivityLog::Change& change) {
    QString text =
        QString::fromUtf8(change.text.data(), static_cast<qsizetype>(change.text.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    log_box_->setUpdatesEnabled(false);
    log_box_->setPlainText(text);
    log_box_->setUpdatesEnabled(true);
    // The newest line into view.
    QScrollBar* bar = log_box_->verticalScrollBar();
    bar->setValue(bar->maximum());
}

CImageButton* CMainDialog::Button(MainButton button) const {
    const auto it = buttons_.find(button);
    return it == buttons_.end() ? nullptr : it->second;
}

void CMainDialog::keyPressEvent(QKeyEvent* event) {
    // Enter and Escape stay with the focused control and never end the window.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->ignore();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void CMainDialog::closeEvent(QCloseEvent* event) {
    if (closed_) {
        event->accept();
        return;
    }
    // The close box (or the window manager's close) with CLOSECANCEL sends
    // the window to the tray instead.
    const bool to_tray =
        engine_->Settings().Read([](const DiarySettings& s) { return s.CLOSECANCEL; });
    event->ignore();
    if (to_tray) {
        Minimise();
        return;
    }
    RequestClose();
}

void CMainDialog::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || closed_) return;
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    const bool was_minimised = change->oldState() & Qt::WindowMinimized;
    const bool minimised = isMinimized();
    preview_->UpdatePulling();
    if (was_minimised == minimised) return;
    if (minimised && restoring_ && restore_retries_ < 3) {
        ++restore_retries_;
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        return;
    }
    DiaryEngine& engine = *engine_;
    engine.Graph().minimised.store(minimised);
    if (!engine.Graph().ready.load()) return;
    if (minimised) {
        // Without a tray the window stays on the task bar, within reach.
        if (seams_.tray_available()) hide();
        engine.StopGraphWhileMinimised();
    } else {
        RunGraphAndWait(engine.Capture(), clock_, &engine.ShutdownRequest());
    }
}

void CMainDialog::paintEvent(QPaintEvent* event) {
    // Painted means exposed, on screen: a later minimise is the user's own.
    restoring_ = false;
    QDialog::paintEvent(event);
}

void CMainDialog::Minimise() {
    restoring_ = false;
    if (!isMinimized()) setWindowState(windowState() | Qt::WindowMinimized);
}

void CMainDialog::Restore() {
    restoring_ = true;
    restore_retries_ = 0;
    const Qt::WindowStates state = windowState() & ~Qt::WindowMinimized;
    if (!isVisible()) show();
    setWindowState(state | Qt::WindowActive);
    raise();
    activateWindow();
}

bool CMainDialog::AwayFromScreen() const {
    // A window manager's late report can leave the window hidden but no
    // longer minimised; the tray must still offer to show it.
    return isMinimized() || !isVisible();
}

void CMainDialog::ToggleMinimised() {
    if (AwayFromScreen()) {
        Restore();
    } else {
        Minimise();
    }
}

void CMainDialog::OnTrayClicked() {
    raise();
    ToggleMinimised();
}

QMenu* CMainDialog::PrepareTrayMenu() {
    // No menu while a modal dialog of the window is open.
    if (closed_ || busy_ > 0 || QApplication::activeModalWidget() != nullptr) return nullptr;
    actions_.show_hide->setText(AwayFromScreen() ? tr("表示(&S)") : tr("非表示(&S)"));
    return tray_menu_;
}

void CMainDialog::RequestShutdown() {
    // The engine's request is thread-safe; the close itself queues to the
    // window's thread.
    if (engine_) engine_->RequestShutdown();
    QMetaObject::invokeMethod(
        this, [this] { RequestClose(); }, Qt::QueuedConnection);
}

void CMainDialog::RequestClose() {
    if (closed_) return;
    if (busy_ > 0) {
        // A dialog or a build is under way: it ends first, then the window.
        close_pending_ = true;
        engine_->RequestShutdown();
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
            modal->close();
        }
        return;
    }
    Close();
}

void CMainDialog::Close() {
    if (closed_) return;
    closed_ = true;
    close_pending_ = false;
    hide();
    // Settings saved, then the graph released (the worker stops first), then
    // the tray icon removed.
    engine_->Shutdown();
    if (tray_ != nullptr) tray_->hide();
    if (seams_.on_closed) seams_.on_closed();
}

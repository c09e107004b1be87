#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QString>
#include <QWidget>
#include <vector>

class QTabWidget;
class SharedSettings;
struct DiarySettings;

// One tab of the extra settings dialog: the settings of one job after a
// picture (retention, publishing, the timelapse, commands on events). It
// edits its own fields only, so that OK never overwrites what another thread
// changed meanwhile (the device a recovery took, for example).
class SettingsPage : public QWidget {
public:
    using QWidget::QWidget;
    // The tab's text.
    virtual QString Title() const = 0;
    // The settings as the dialog opens into the controls.
    virtual void Load(const DiarySettings& settings) = 0;
    // Checks the controls; on a refused value it tells the user, focuses the
    // field and returns false. Nothing is written.
    virtual bool Validate() = 0;
    // The controls into the page's fields (under the settings lock: no
    // dialogs, no waiting).
    virtual void Store(DiarySettings& settings) const = 0;
};

// "拡張設定": the settings of the jobs after a picture, one tab each. OK
// writes every page only when every page accepts its values; Cancel leaves
// the settings as they were when the dialog opened.
class CExtraSetupDialog : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(CExtraSetupDialog)

public:
    explicit CExtraSetupDialog(SharedSettings& settings, QWidget* parent = nullptr);

    // Takes the page over (it becomes a child of the dialog).
    void AddPage(SettingsPage* page);
    const std::vector<SettingsPage*>& Pages() const { return pages_; }
    QTabWidget* Tabs() const { return tabs_; }

protected:
    void showEvent(QShowEvent* event) override;
    void accept() override;

private:
    SharedSettings& settings_;
    QTabWidget* tabs_ = nullptr;
    std::vector<SettingsPage*> pages_;
};

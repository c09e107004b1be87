#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <functional>
#include <string>

#include "settings/diary_settings.h"

class DataExchange;
class Prompts;
class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class SharedSettings;
class SpinEdit;

struct HtmlSetupServices {
    // Its HTML fields are what the dialog edits.
    SharedSettings& settings;
    Prompts& prompts;
    // The folder of setup.ini, ending in "/", which the Reset buttons read.
    std::function<std::string()> app_directory;
};

// "HTML設定": the day page and index page settings. Lives as long as the
// main window and is shown modally while the capture graph is released.
// The fields and the four buttons work on the dialog's own copy of the
// settings; only an OK whose checks all passed writes it into them, so
// Cancel leaves the settings as they were when the dialog opened.
class CHtmlSetupDialog : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(CHtmlSetupDialog)

public:
    explicit CHtmlSetupDialog(HtmlSetupServices services, QWidget* parent = nullptr);

    // true: controls into the dialog's copy, with the checks (a failed one
    // leaves the copy as the framework would); false: the copy into the
    // controls. False when a check failed.
    bool UpdateData(bool save_and_validate);

    // "リセット" and "デフォルト" of the day page and of the index page.
    void LoadDayPageSettings();
    void DefaultDayPageSettings();
    void LoadIndexPageSettings();
    void DefaultIndexPageSettings();

    // The dialog's copy, as the last exchange and button left it.
    const DiarySettings& Edited() const { return edit_; }

protected:
    void showEvent(QShowEvent* event) override;
    void accept() override;
    void done(int result) override;

private:
    void OnInitDialog();
    void Exchange(DataExchange& dx, DiarySettings& s);
    // Takes the controls over (a failed check is shown and stops there), lets
    // `change` edit the copy and shows it all again.
    void ChangeGroup(const std::function<void(DiarySettings&)>& change);

    HtmlSetupServices services_;
    DiarySettings edit_;
    bool open_ = false;

    QCheckBox* preview_create_ = nullptr;
    QLineEdit* preview_html_ = nullptr;
    QCheckBox* preview_sort_ = nullptr;
    SpinEdit* preview_size_ = nullptr;
    QCheckBox* preview_refresh_ = nullptr;
    SpinEdit* preview_refresh_second_ = nullptr;
    QCheckBox* index_create_ = nullptr;
    QLineEdit* index_html_ = nullptr;
    QCheckBox* index_preview_ = nullptr;
    SpinEdit* index_size_ = nullptr;
    SpinEdit* index_max_ = nullptr;
    QCheckBox* index_refresh_ = nullptr;
    SpinEdit* index_refresh_second_ = nullptr;
    QCheckBox* calendar_ = nullptr;
    QCheckBox* calendar_sort_ = nullptr;
    SpinEdit* calendar_max_ = nullptr;
    SpinEdit* calendar_row_ = nullptr;
    SpinEdit* calendar_font_size_ = nullptr;
    QLineEdit* title_ = nullptr;
    QPlainTextEdit* top_code_ = nullptr;
    QPlainTextEdit* bottom_code_ = nullptr;
};

#pragma once

#include <QDialog>
#include <functional>
#include <string>

class DataExchange;
class Prompts;
class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class SharedSettings;
class SpinEdit;
struct DiarySettings;

struct HtmlSetupServices {
    // Its HTML fields are the dialog's variables.
    SharedSettings& settings;
    Prompts& prompts;
    // The folder of setup.ini, ending in "/", which the Reset buttons read.
    std::function<std::string()> app_directory;
};

// "HTML設定": the day page and index page settings. Lives as long as the
// main window and is shown modally while the capture graph is released;
// the four buttons and OK write into the settings at once.
class CHtmlSetupDialog : public QDialog {
public:
    explicit CHtmlSetupDialog(HtmlSetupServices services, QWidget* parent = nullptr);

    // true: controls into the variables, with the checks; false: the
    // variables into the controls. False when a check failed.
    bool UpdateData(bool save_and_validate);

    // "リセット" and "デフォルト" of the day page and of the index page.
    void LoadDayPageSettings();
    void DefaultDayPageSettings();
    void LoadIndexPageSettings();
    void DefaultIndexPageSettings();

protected:
    void showEvent(QShowEvent* event) override;
    void accept() override;
    void done(int result) override;

private:
    void OnInitDialog();
    void Exchange(DataExchange& dx, DiarySettings& s);
    // Takes the controls over (a failed check is shown and stops there), lets
    // `change` edit the variables and shows them all again.
    void ChangeGroup(const std::function<void(DiarySettings&)>& change);

    HtmlSetupServices services_;
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

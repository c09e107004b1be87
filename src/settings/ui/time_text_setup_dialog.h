#pragma once

#include <QColor>
#include <QCoreApplication>
#include <QDialog>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/ui/font_list.h"

class ColourSwatch;
class DataExchange;
class Prompts;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class SharedSettings;
class SpinEdit;
struct DiarySettings;

struct TimeTextSetupServices {
    // Its TIMETEXT fields are the dialog's variables.
    SharedSettings& settings;
    Prompts& prompts;
    // The colour dialog: the confirmed colour as 0x00BBGGRR, or nullopt when
    // it was cancelled. Unset: a QColorDialog.
    std::function<std::optional<std::uint32_t>(QWidget* owner)> choose_colour;
    // The families each opening lists. Unset: the font system's.
    std::function<std::vector<FontFamily>()> font_families;
};

// "日時表示設定": whether and where the time text is drawn, its format, font,
// colours and shadow. Lives as long as the main window and is shown modally
// while the worker keeps running; what it takes over is used from the next
// store on. It writes no file. OK takes the fields over only when every check
// passes; a chosen colour is in effect at once, and Cancel restores the
// colours the dialog opened with.
class CTimeTextSetupDialog : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(CTimeTextSetupDialog)

public:
    explicit CTimeTextSetupDialog(TimeTextSetupServices services, QWidget* parent = nullptr);
    ~CTimeTextSetupDialog() override;

    // true: controls into the settings when every check passes (a failed
    // check stores nothing); false: the settings into the controls. False
    // when a check failed.
    bool UpdateData(bool save_and_validate);

    // "変更" of the text colour and of the shadow colour.
    void OnTextColour();
    void OnShadowColour();

    // The faces found so far, in byte-wise order.
    const FontList& Fonts() const { return fonts_; }

protected:
    void showEvent(QShowEvent* event) override;
    void accept() override;
    void done(int result) override;

private:
    void OnInitDialog();
    void FillFontBox();
    void Exchange(DataExchange& dx, DiarySettings& s);
    // The controls into the settings, with `face` as FONT_NAME when set.
    bool SaveControls(const std::optional<std::string>& face);
    std::optional<std::uint32_t> ChooseColour();

    TimeTextSetupServices services_;
    FontList fonts_;
    bool open_ = false;
    std::uint32_t opened_text_colour_ = 0;
    std::uint32_t opened_shadow_colour_ = 0;

    QCheckBox* show_text_ = nullptr;
    SpinEdit* text_x_ = nullptr;
    SpinEdit* text_y_ = nullptr;
    QLineEdit* format_ = nullptr;
    QComboBox* font_box_ = nullptr;
    SpinEdit* font_size_ = nullptr;
    ColourSwatch* text_swatch_ = nullptr;
    QPushButton* text_colour_ = nullptr;
    QCheckBox* bold_ = nullptr;
    QCheckBox* italic_ = nullptr;
    QCheckBox* show_shadow_ = nullptr;
    ColourSwatch* shadow_swatch_ = nullptr;
    QPushButton* shadow_colour_ = nullptr;
    SpinEdit* shadow_x_ = nullptr;
    SpinEdit* shadow_y_ = nullptr;
};

// The swatch colour of a 0x00BBGGRR value, and back.
QColor ColourOfColorRef(std::uint32_t colorref);
std::uint32_t ColorRefOfColour(const QColor& colour);

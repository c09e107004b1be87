#include "settings/ui/time_text_setup_dialog.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "controls/dialog_controls.h"
#include "controls/dialog_units.h"
#include "controls/spin_edit.h"
#include "settings/shared_settings.h"
#include "settings/time_text_group.h"
#include "settings/ui/colour_swatch.h"
#include "settings/ui/data_exchange.h"

namespace {

std::optional<std::uint32_t> ChooseColourWithQt(QWidget* owner) {
    // No colour preselected: the dialog starts at black, as the system's does.
    const QColor chosen = QColorDialog::getColor(Qt::black, owner);
    if (!chosen.isValid()) return std::nullopt;
    return ColorRefOfColour(chosen);
}

// The order a sorted combo box of the system keeps: case ignored, ties in
// the order given.
void SortLikeTheComboBox(QStringList& names) {
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
}

}  // namespace

QColor ColourOfColorRef(std::uint32_t colorref) {
    return QColor(colorref & 0xFF, (colorref >> 8) & 0xFF, (colorref >> 16) & 0xFF);
}

std::uint32_t ColorRefOfColour(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return static_cast<std::uint32_t>(rgb.red()) | (static_cast<std::uint32_t>(rgb.green()) << 8) |
           (static_cast<std::uint32_t>(rgb.blue()) << 16);
}

CTimeTextSetupDialog::CTimeTextSetupDialog(TimeTextSetupServices services, QWidget* parent)
    : QDialog(parent), services_(std::move(services)) {
    setWindowTitle(tr("日時表示設定"));
    const QFont font = DialogFont(QStringLiteral("MS Shell Dlg"), 8);
    setFont(font);
    const DialogUnits du(font);
    setFixedSize(du.Size(250, 260));

    const DialogControls make(this);
    // Two pairs of spins read "横" and "縦": the description tells them apart.
    auto spin = [&](const char* id, const QString& name, const QString& where, QRect rect, int min,
                    int max) {
        SpinEdit* s = make.Spin(id, name, rect, min, max);
        s->setAccessibleDescription(where);
        return s;
    };
    auto button = [&](const char* id, const QString& text, const QString& what, QRect rect) {
        QPushButton* b = make.Button(id, text, rect);
        if (!what.isEmpty()) b->setAccessibleDescription(what);
        return b;
    };
    auto swatch = [&](const char* id, const QString& name, QRect rect) {
        auto* s = new ColourSwatch(this);
        s->setObjectName(QString::fromUtf8(id));
        s->setAccessibleName(name);
        s->setGeometry(rect);
        return s;
    };

    // The decorative band down the left edge.
    auto* band = new QFrame(this);
    band->setObjectName(QStringLiteral("180"));
    band->setGeometry(du.Rect(7, 7, 20, 246));
    band->setStyleSheet(QStringLiteral(
        "background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #1f6fd1, stop:1 #0f3f7f);"));

    show_text_ =
        make.Check("1041", tr("キャプチャした画像に日時を表示する"), du.Rect(34, 7, 209, 10));

    make.Group(tr("表示位置"), du.Rect(34, 20, 209, 30));
    text_x_ = spin("1003", tr("横"), tr("表示位置"), du.Rect(56, 32, 44, 13), 0, 10000);
    make.Label(tr("横"), du.Rect(42, 34, 12, 8), text_x_);
    text_y_ = spin("1004", tr("縦"), tr("表示位置"), du.Rect(128, 32, 44, 13), 0, 10000);
    make.Label(tr("縦"), du.Rect(114, 34, 12, 8), text_y_);

    make.Group(tr("表示文字列"), du.Rect(34, 53, 209, 50));
    format_ = make.Edit("1039", tr("表示文字列"), du.Rect(42, 65, 193, 13));
    auto* help =
        make.Label(tr("%Y=年 %M=月 %D=日 %W=曜日(英語)\n%h=時 %m=分 %s=秒 %w=曜日(日本語)"),
                   du.Rect(42, 81, 193, 18), nullptr);
    help->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    make.Group(tr("フォント設定"), du.Rect(34, 106, 209, 64));
    font_box_ = new QComboBox(this);
    font_box_->setObjectName(QStringLiteral("1044"));
    font_box_->setAccessibleName(tr("フォント設定"));
    font_box_->setEditable(true);
    font_box_->setInsertPolicy(QComboBox::NoInsert);
    font_box_->setGeometry(du.Rect(42, 118, 193, 13));
    font_size_ = spin("1043", tr("サイズ"), tr("フォント設定"), du.Rect(72, 136, 36, 13), 0, 1000);
    make.Label(tr("サイズ"), du.Rect(42, 138, 28, 8), font_size_);
    text_swatch_ = swatch("1049", tr("文字色"), du.Rect(148, 136, 22, 13));
    make.Label(tr("文字色"), du.Rect(118, 138, 28, 8), text_swatch_);
    text_colour_ = button("1000", tr("変更"), tr("文字色"), du.Rect(174, 135, 34, 14));
    bold_ = make.Check("1051", tr("太文字"), du.Rect(42, 154, 60, 10));
    italic_ = make.Check("1052", tr("イタリック体"), du.Rect(108, 154, 80, 10));

    make.Group(tr("影の表示設定"), du.Rect(34, 173, 209, 62));
    show_shadow_ = make.Check("1046", tr("影を表示する"), du.Rect(42, 186, 70, 10));
    shadow_swatch_ = swatch("1050", tr("影の色"), du.Rect(148, 184, 22, 13));
    make.Label(tr("影の色"), du.Rect(118, 186, 28, 8), shadow_swatch_);
    shadow_colour_ = button("1001", tr("変更"), tr("影の色"), du.Rect(174, 183, 34, 14));
    make.Group(tr("表示位置"), du.Rect(42, 198, 193, 32));
    shadow_x_ = spin("1005", tr("横"), tr("影の表示位置"), du.Rect(64, 211, 44, 13), -1000, 1000);
    make.Label(tr("横"), du.Rect(50, 213, 12, 8), shadow_x_);
    shadow_y_ = spin("1006", tr("縦"), tr("影の表示位置"), du.Rect(136, 211, 44, 13), -1000, 1000);
    make.Label(tr("縦"), du.Rect(122, 213, 12, 8), shadow_y_);

    auto* ok = button("1", QStringLiteral("OK"), QString(), du.Rect(139, 241, 50, 14));
    ok->setDefault(true);
    auto* cancel = button("2", tr("キャンセル"), QString(), du.Rect(193, 241, 50, 14));

    text_swatch_->OnDoubleClick([this] { OnTextColour(); });
    shadow_swatch_->OnDoubleClick([this] { OnShadowColour(); });
    connect(text_colour_, &QPushButton::clicked, this, [this] { OnTextColour(); });
    connect(shadow_colour_, &QPushButton::clicked, this, [this] { OnShadowColour(); });
    connect(ok, &QPushButton::clicked, this, &CTimeTextSetupDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CTimeTextSetupDialog::reject);
}

CTimeTextSetupDialog::~CTimeTextSetupDialog() = default;

void CTimeTextSetupDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (open_) return;
    open_ = true;
    OnInitDialog();
}

void CTimeTextSetupDialog::OnInitDialog() {
    UpdateData(false);
    const DiarySettings s = services_.settings.Copy();
    // As the up-down controls do: a value beyond the spin range shows as
    // the range's end.
    text_x_->SetPosition(s.TEXT_XPOS);
    text_y_->SetPosition(s.TEXT_YPOS);
    shadow_x_->SetPosition(s.SHADOW_XPOS);
    shadow_y_->SetPosition(s.SHADOW_YPOS);
    font_size_->SetPosition(s.FONT_SIZE);
    FillFontBox();
    opened_text_colour_ = s.TEXT_COLOR;
    opened_shadow_colour_ = s.SHADOW_COLOR;
    text_swatch_->SetColour(ColourOfColorRef(s.TEXT_COLOR));
    shadow_swatch_->SetColour(ColourOfColorRef(s.SHADOW_COLOR));
}

void CTimeTextSetupDialog::FillFontBox() {
    font_box_->clear();
    fonts_.Add(services_.font_families ? services_.font_families() : SystemFontFamilies());
    QStringList names;
    for (const std::string& name : fonts_.Names()) names.push_back(QString::fromStdString(name));
    SortLikeTheComboBox(names);
    font_box_->addItems(names);
    const QString face = QString::fromStdString(
        services_.settings.Read([](const DiarySettings& s) { return s.FONT_NAME; }));
    // The first item that begins with the face name, case ignored; every
    // name begins with an empty one.
    const int index = font_box_->findText(face, Qt::MatchStartsWith);
    font_box_->setCurrentIndex(index);
    if (index < 0) font_box_->clearEditText();
}

void CTimeTextSetupDialog::Exchange(DataExchange& dx, DiarySettings& s) {
    dx.Check(show_text_, s.SHOW_TEXT);
    dx.UInt(text_x_->lineEdit(), s.TEXT_XPOS, 0, 10000);
    dx.UInt(text_y_->lineEdit(), s.TEXT_YPOS, 0, 10000);
    dx.UInt(font_size_->lineEdit(), s.FONT_SIZE, 1, 1000);
    dx.Check(show_shadow_, s.SHOW_SHADOW);
    dx.Int(shadow_x_->lineEdit(), s.SHADOW_XPOS, -1000, 1000);
    dx.Int(shadow_y_->lineEdit(), s.SHADOW_YPOS, -1000, 1000);
    dx.Text(format_, s.TIME_FORMAT);
    dx.Check(bold_, s.FONT_BOLD);
    dx.Check(italic_, s.FONT_ITALIC);
}

bool CTimeTextSetupDialog::UpdateData(bool save_and_validate) {
    if (save_and_validate) return SaveControls(std::nullopt);
    DiarySettings s = services_.settings.Copy();
    DataExchange dx(DataExchange::Direction::kToControls, services_.prompts);
    Exchange(dx, s);
    return true;
}

bool CTimeTextSetupDialog::SaveControls(const std::optional<std::string>& face) {
    // The exchange works on a copy, so no prompt is shown with the settings
    // locked; the worker then gets the group in one hand-over, and only when
    // every check passed.
    DiarySettings s = services_.settings.Copy();
    if (face) s.FONT_NAME = *face;
    DataExchange dx(DataExchange::Direction::kFromControls, services_.prompts);
    Exchange(dx, s);
    if (dx.Failed()) return false;
    HandOverTimeText(services_.settings, TimeTextGroupOf(s));
    return true;
}

std::optional<std::uint32_t> CTimeTextSetupDialog::ChooseColour() {
    return services_.choose_colour ? services_.choose_colour(this) : ChooseColourWithQt(this);
}

void CTimeTextSetupDialog::OnTextColour() {
    const std::optional<std::uint32_t> colour = ChooseColour();
    if (!colour) return;
    // In effect at once, for the next store; Cancel takes it back.
    services_.settings.Update([&](DiarySettings& s) { s.TEXT_COLOR = *colour; });
    text_swatch_->SetColour(ColourOfColorRef(*colour));
}

void CTimeTextSetupDialog::OnShadowColour() {
    const std::optional<std::uint32_t> colour = ChooseColour();
    if (!colour) return;
    services_.settings.Update([&](DiarySettings& s) { s.SHADOW_COLOR = *colour; });
    shadow_swatch_->SetColour(ColourOfColorRef(*colour));
}

void CTimeTextSetupDialog::accept() {
    // Only a face picked from the list is taken; typed text that names no
    // listed face leaves the stored name alone.
    std::optional<std::string> face;
    const int index = font_box_->currentIndex();
    if (index >= 0 && font_box_->currentText() == font_box_->itemText(index))
        face = font_box_->itemText(index).toStdString();
    if (!SaveControls(face)) return;
    QDialog::accept();
}

void CTimeTextSetupDialog::done(int result) {
    if (open_ && result == QDialog::Rejected) {
        const std::uint32_t text = opened_text_colour_;
        const std::uint32_t shadow = opened_shadow_colour_;
        services_.settings.Update([&](DiarySettings& s) {
            s.TEXT_COLOR = text;
            s.SHADOW_COLOR = shadow;
        });
    }
    open_ = false;
    QDialog::done(result);
}

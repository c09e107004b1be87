#include "settings/ui/html_setup_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <cstdint>

#include "controls/dialog_controls.h"
#include "controls/dialog_units.h"
#include "controls/spin_edit.h"
#include "settings/settings_io.h"
#include "settings/shared_settings.h"
#include "settings/ui/data_exchange.h"

namespace {

void CopyDayPageGroup(const DiarySettings& from, DiarySettings& to) {
    to.PREVIEW_CREATE = from.PREVIEW_CREATE;
    to.PREVIEW_HTML = from.PREVIEW_HTML;
    to.PREVIEW_IMAGE_SIZE = from.PREVIEW_IMAGE_SIZE;
    to.PREVIEW_AUTO_REFLESH = from.PREVIEW_AUTO_REFLESH;
    to.PREVIEW_AUTO_REFLESH_SECOND = from.PREVIEW_AUTO_REFLESH_SECOND;
    to.PREVIEW_SORT = from.PREVIEW_SORT;
}

void CopyIndexPageGroup(const DiarySettings& from, DiarySettings& to) {
    to.INDEX_CREATE = from.INDEX_CREATE;
    to.INDEX_HTML = from.INDEX_HTML;
    to.INDEX_PREVIEW = from.INDEX_PREVIEW;
    to.INDEX_IMAGE_SIZE = from.INDEX_IMAGE_SIZE;
    to.INDEX_IMAGE_MAX = from.INDEX_IMAGE_MAX;
    to.INDEX_AUTO_REFLESH = from.INDEX_AUTO_REFLESH;
    to.INDEX_AUTO_REFLESH_SECOND = from.INDEX_AUTO_REFLESH_SECOND;
    to.INDEX_CALENDAR = from.INDEX_CALENDAR;
    to.INDEX_CALENDAR_SORT = from.INDEX_CALENDAR_SORT;
    to.INDEX_CALENDAR_MAX = from.INDEX_CALENDAR_MAX;
    to.INDEX_CALENDAR_ROW = from.INDEX_CALENDAR_ROW;
    to.INDEX_CALENDAR_FONT_SIZE = from.INDEX_CALENDAR_FONT_SIZE;
}

void CopyHtmlGroup(const DiarySettings& from, DiarySettings& to) {
    CopyDayPageGroup(from, to);
    CopyIndexPageGroup(from, to);
    to.INDEX_HTML_TITLE = from.INDEX_HTML_TITLE;
    to.TOP_CODE = from.TOP_CODE;
    to.BOTTOM_CODE = from.BOTTOM_CODE;
}

// An up-down control takes a 16-bit position.
int SpinPosition(std::int32_t value) { return static_cast<std::int16_t>(value); }

}  // namespace

CHtmlSetupDialog::CHtmlSetupDialog(HtmlSetupServices services, QWidget* parent)
    : QDialog(parent), services_(std::move(services)) {
    setWindowTitle(tr("HTML設定"));
    const QFont font = DialogFont(QStringLiteral("MS Shell Dlg"), 8);
    setFont(font);
    const DialogUnits du(font);
    setFixedSize(du.Size(401, 262));

    const DialogControls make(this);
    auto code = [&](const char* id, const QString& name, QRect rect) {
        auto* e = new QPlainTextEdit(this);
        e->setObjectName(QString::fromUtf8(id));
        e->setAccessibleName(name);
        e->setGeometry(rect);
        e->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        // Enter breaks the line; Tab still moves on, as in a dialog's edit.
        e->setTabChangesFocus(true);
        return e;
    };

    // Day page, top left.
    make.Group(tr("日別画像HTMLの自動作成"), du.Rect(7, 4, 190, 124));
    preview_create_ =
        make.Check("1057", tr("日別画像HTMLを自動作成する"), du.Rect(14, 16, 176, 10));
    preview_html_ = make.Edit("1004", tr("HTMLファイル名"), du.Rect(78, 29, 112, 13));
    make.Label(tr("HTMLファイル名"), du.Rect(14, 31, 60, 8), preview_html_);
    preview_sort_ = make.Check("1056", tr("新しい画像から順に表示する"), du.Rect(14, 46, 176, 10));
    preview_size_ = make.Spin("1045", tr("画像サイズ"), du.Rect(78, 59, 36, 13), 1, 100);
    make.Label(tr("画像サイズ"), du.Rect(14, 61, 60, 8), preview_size_);
    make.Label("%", du.Rect(117, 61, 12, 8), nullptr);
    preview_refresh_ =
        make.Check("1058", tr("WEBページが自動更新するようにする"), du.Rect(14, 76, 176, 10));
    preview_refresh_second_ = make.Spin("1049", tr("更新間隔"), du.Rect(78, 89, 44, 13), 0, 10000);
    make.Label(tr("更新間隔"), du.Rect(24, 91, 50, 8), preview_refresh_second_);
    make.Label(tr("秒"), du.Rect(125, 91, 12, 8), nullptr);
    auto* day_reset = make.Button("1002", tr("リセット"), du.Rect(84, 108, 50, 14));
    auto* day_default = make.Button("1008", tr("デフォルト"), du.Rect(140, 108, 50, 14));

    // Index page, the right column, with its calendar.
    make.Group(tr("インデックスHTMLの自動作成"), du.Rect(204, 4, 190, 232));
    index_create_ =
        make.Check("1061", tr("インデックスHTMLを自動作成する"), du.Rect(211, 16, 176, 10));
    index_html_ = make.Edit("1005", tr("HTMLファイル名"), du.Rect(275, 29, 112, 13));
    make.Label(tr("HTMLファイル名"), du.Rect(211, 31, 60, 8), index_html_);
    index_preview_ = make.Check("1060", tr("最新画像を表示する"), du.Rect(211, 46, 176, 10));
    index_size_ = make.Spin("1051", tr("画像サイズ"), du.Rect(275, 59, 36, 13), 1, 100);
    make.Label(tr("画像サイズ"), du.Rect(221, 61, 50, 8), index_size_);
    make.Label("%", du.Rect(314, 61, 12, 8), nullptr);
    index_max_ = make.Spin("1053", tr("表示枚数"), du.Rect(275, 74, 36, 13), 0, 100);
    make.Label(tr("表示枚数"), du.Rect(221, 76, 50, 8), index_max_);
    index_refresh_ =
        make.Check("1062", tr("WEBページが自動更新するようにする"), du.Rect(211, 91, 176, 10));
    index_refresh_second_ = make.Spin("1055", tr("更新間隔"), du.Rect(275, 104, 44, 13), 0, 10000);
    make.Label(tr("更新間隔"), du.Rect(221, 106, 50, 8), index_refresh_second_);
    make.Label(tr("秒"), du.Rect(322, 106, 12, 8), nullptr);

    make.Group(tr("カレンダー"), du.Rect(211, 122, 176, 92));
    calendar_ = make.Check("1064", tr("カレンダーを表示する"), du.Rect(218, 134, 162, 10));
    calendar_sort_ = make.Check("1071", tr("新しい月から表示する"), du.Rect(218, 148, 162, 10));
    calendar_max_ = make.Spin("1065", tr("最大"), du.Rect(275, 161, 36, 13), 1, 100);
    make.Label(tr("最大"), du.Rect(228, 163, 44, 8), calendar_max_);
    make.Label(tr("ヶ月分"), du.Rect(314, 163, 30, 8), nullptr);
    calendar_row_ = make.Spin("1067", tr("列数"), du.Rect(275, 177, 36, 13), 1, 100);
    make.Label(tr("列数"), du.Rect(228, 179, 44, 8), calendar_row_);
    calendar_font_size_ =
        make.Spin("1069", tr("フォントサイズ"), du.Rect(275, 193, 36, 13), 1, 100);
    make.Label(tr("フォントサイズ"), du.Rect(228, 195, 46, 8), calendar_font_size_);
    auto* index_reset = make.Button("1007", tr("リセット"), du.Rect(281, 218, 50, 14));
    auto* index_default = make.Button("1006", tr("デフォルト"), du.Rect(337, 218, 50, 14));

    // Index page texts, bottom left; no buttons of their own.
    make.Group(tr("インデックスHTMLの修正"), du.Rect(7, 132, 190, 104));
    title_ = make.Edit("1003", tr("タイトル"), du.Rect(50, 144, 140, 13));
    make.Label(tr("タイトル"), du.Rect(14, 146, 34, 8), title_);
    top_code_ = code("1009", tr("上部追加HTMLコード"), du.Rect(14, 170, 176, 26));
    make.Label(tr("上部追加HTMLコード"), du.Rect(14, 160, 176, 8), top_code_);
    bottom_code_ = code("1010", tr("下部追加HTMLコード"), du.Rect(14, 208, 176, 24));
    make.Label(tr("下部追加HTMLコード"), du.Rect(14, 199, 176, 8), bottom_code_);

    auto* ok = make.Button("1", "OK", du.Rect(288, 242, 50, 14));
    ok->setDefault(true);
    auto* cancel = make.Button("2", tr("キャンセル"), du.Rect(344, 242, 50, 14));

    connect(day_reset, &QPushButton::clicked, this, [this] { LoadDayPageSettings(); });
    connect(day_default, &QPushButton::clicked, this, [this] { DefaultDayPageSettings(); });
    connect(index_reset, &QPushButton::clicked, this, [this] { LoadIndexPageSettings(); });
    connect(index_default, &QPushButton::clicked, this, [this] { DefaultIndexPageSettings(); });
    connect(ok, &QPushButton::clicked, this, &CHtmlSetupDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CHtmlSetupDialog::reject);
}

void CHtmlSetupDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (open_) return;
    open_ = true;
    OnInitDialog();
}

void CHtmlSetupDialog::OnInitDialog() {
    edit_ = services_.settings.Copy();
    UpdateData(false);
    const DiarySettings& s = edit_;
    preview_size_->SetPosition(SpinPosition(s.PREVIEW_IMAGE_SIZE));
    preview_refresh_second_->SetPosition(SpinPosition(s.PREVIEW_AUTO_REFLESH_SECOND));
    index_size_->SetPosition(SpinPosition(s.INDEX_IMAGE_SIZE));
    index_max_->SetPosition(SpinPosition(s.INDEX_IMAGE_MAX));
    index_refresh_second_->SetPosition(SpinPosition(s.INDEX_AUTO_REFLESH_SECOND));
    calendar_max_->SetPosition(SpinPosition(s.INDEX_CALENDAR_MAX));
    calendar_row_->SetPosition(SpinPosition(s.INDEX_CALENDAR_ROW));
    calendar_font_size_->SetPosition(SpinPosition(s.INDEX_CALENDAR_FONT_SIZE));
    // A spin shows its position clamped to its range: a refresh interval
    // above 10000, which a typed value may be, would come back as 10000 and
    // be stored so on OK. The fields show the variables.
    UpdateData(false);
}

void CHtmlSetupDialog::Exchange(DataExchange& dx, DiarySettings& s) {
    dx.Check(preview_create_, s.PREVIEW_CREATE);
    dx.Text(preview_html_, s.PREVIEW_HTML);
    dx.Check(preview_sort_, s.PREVIEW_SORT);
    dx.Int(preview_size_->lineEdit(), s.PREVIEW_IMAGE_SIZE, 1, 100);
    dx.Check(preview_refresh_, s.PREVIEW_AUTO_REFLESH);
    dx.UInt(preview_refresh_second_->lineEdit(), s.PREVIEW_AUTO_REFLESH_SECOND, 0, 30000);
    dx.Check(index_create_, s.INDEX_CREATE);
    dx.Text(index_html_, s.INDEX_HTML);
    dx.Check(index_preview_, s.INDEX_PREVIEW);
    dx.Int(index_size_->lineEdit(), s.INDEX_IMAGE_SIZE, 1, 100);
    dx.Int(index_max_->lineEdit(), s.INDEX_IMAGE_MAX, 0, 100);
    dx.Check(index_refresh_, s.INDEX_AUTO_REFLESH);
    dx.Int(index_refresh_second_->lineEdit(), s.INDEX_AUTO_REFLESH_SECOND, 0, 30000);
    dx.Check(calendar_, s.INDEX_CALENDAR);
    dx.Check(calendar_sort_, s.INDEX_CALENDAR_SORT);
    dx.Int(calendar_max_->lineEdit(), s.INDEX_CALENDAR_MAX, 1, 100);
    dx.Int(calendar_row_->lineEdit(), s.INDEX_CALENDAR_ROW, 1, 100);
    dx.Int(calendar_font_size_->lineEdit(), s.INDEX_CALENDAR_FONT_SIZE, 1, 100);
    dx.Text(title_, s.INDEX_HTML_TITLE);
    dx.Text(top_code_, s.TOP_CODE);
    dx.Text(bottom_code_, s.BOTTOM_CODE);
}

bool CHtmlSetupDialog::UpdateData(bool save_and_validate) {
    DataExchange dx(save_and_validate ? DataExchange::Direction::kFromControls
                                      : DataExchange::Direction::kToControls,
                    services_.prompts);
    Exchange(dx, edit_);
    return !dx.Failed();
}

void CHtmlSetupDialog::ChangeGroup(const std::function<void(DiarySettings&)>& change) {
    // A failed check has shown its prompt; the button's change is made all the same.
    UpdateData(true);
    change(edit_);
    UpdateData(false);
}

void CHtmlSetupDialog::LoadDayPageSettings() {
    DiarySettings loaded;
    LoadDayPageSettingsFrom(loaded, services_.app_directory() + "setup.ini");
    ChangeGroup([&](DiarySettings& s) { CopyDayPageGroup(loaded, s); });
}

void CHtmlSetupDialog::DefaultDayPageSettings() {
    ChangeGroup([](DiarySettings& s) { CopyDayPageGroup(DiarySettings{}, s); });
}

void CHtmlSetupDialog::LoadIndexPageSettings() {
    DiarySettings loaded;
    LoadIndexPageSettingsFrom(loaded, services_.app_directory() + "setup.ini");
    ChangeGroup([&](DiarySettings& s) { CopyIndexPageGroup(loaded, s); });
}

void CHtmlSetupDialog::DefaultIndexPageSettings() {
    ChangeGroup([](DiarySettings& s) { CopyIndexPageGroup(DiarySettings{}, s); });
}

void CHtmlSetupDialog::accept() {
    if (!UpdateData(true)) return;
    services_.settings.Update([this](DiarySettings& d) { CopyHtmlGroup(edit_, d); });
    QDialog::accept();
}

void CHtmlSetupDialog::done(int result) {
    open_ = false;
    QDialog::done(result);
}

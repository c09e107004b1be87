#include "settings/ui/extra_setup_dialog.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "settings/shared_settings.h"

CExtraSetupDialog::CExtraSetupDialog(SharedSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setWindowTitle(tr("拡張設定"));
    // Laid out, not placed: these pages are ours, and their texts come in
    // more than one language.
    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("tabs"));
    // Room for a path or a command line in the pages' fields.
    tabs_->setMinimumWidth(fontMetrics().averageCharWidth() * 84);
    layout->addWidget(tabs_);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(tr("キャンセル"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("2"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CExtraSetupDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CExtraSetupDialog::reject);
}

void CExtraSetupDialog::AddPage(SettingsPage* page) {
    page->setParent(tabs_);
    tabs_->addTab(page, page->Title());
    pages_.push_back(page);
}

void CExtraSetupDialog::showEvent(QShowEvent* event) {
    const DiarySettings now = settings_.Copy();
    for (SettingsPage* page : pages_) page->Load(now);
    tabs_->setCurrentIndex(0);
    QDialog::showEvent(event);
}

void CExtraSetupDialog::accept() {
    for (SettingsPage* page : pages_) {
        if (!page->Validate()) {
            tabs_->setCurrentWidget(page);
            return;
        }
    }
    settings_.Update([this](DiarySettings& s) {
        for (const SettingsPage* page : pages_) page->Store(s);
    });
    QDialog::accept();
}

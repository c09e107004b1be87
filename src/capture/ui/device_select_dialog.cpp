#include "capture/ui/device_select_dialog.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CDeviceSelectDialog::CDeviceSelectDialog(QWidget* parent)
    : QDialog(parent), combo_(new QComboBox(this)) {
    setWindowTitle(tr("デバイス選択"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("映像入力デバイスを選択してください。"), this));
    combo_->setObjectName(QStringLiteral("device"));
    combo_->setMaxVisibleItems(12);
    layout->addWidget(combo_);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

int CDeviceSelectDialog::exec() {
    // Appended one by one, so the list keeps the given order.
    combo_->clear();
    for (const std::string& name : names_) combo_->addItem(QString::fromStdString(name));
    combo_->setCurrentIndex(initial_index_ < combo_->count() ? initial_index_ : -1);
    selected_index_ = -1;
    return QDialog::exec();
}

void CDeviceSelectDialog::accept() {
    selected_index_ = combo_->currentIndex();
    QDialog::accept();
}

DeviceChoice QtDeviceChooser::ChooseDevice(const std::vector<std::string>& names,
                                           int initial_index) {
    CDeviceSelectDialog dialog(parent_);
    for (const std::string& name : names) dialog.AddDevice(name);
    dialog.SetInitialSelection(initial_index);
    if (dialog.exec() != QDialog::Accepted) return {};
    return {true, dialog.SelectedIndex()};
}

#include "capture/ui/device_select_dialog.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "capture/device_names.h"

CDeviceSelectDialog::CDeviceSelectDialog(QWidget* parent)
    : QDialog(parent), combo_(new QComboBox(this)) {
    setWindowTitle(tr("デバイス選択"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("映像入力デバイスを選択してください。"), this));
    combo_->setObjectName(QStringLiteral("device"));
    combo_->setAccessibleName(tr("映像入力デバイス"));
    combo_->setMaxVisibleItems(12);
    // A network camera is never listed until it is stored: its address is
    // typed here (http://, https:// or rtsp://).
    combo_->setEditable(true);
    combo_->setInsertPolicy(QComboBox::NoInsert);
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
    typed_address_.clear();
    return QDialog::exec();
}

void CDeviceSelectDialog::accept() {
    const QString text = combo_->currentText().trimmed();
    const int listed = combo_->findText(text, Qt::MatchExactly);
    if (listed >= 0 || text.isEmpty()) {
        selected_index_ = listed >= 0 ? listed : combo_->currentIndex();
    } else if (IsNetworkAddress(text.toStdString())) {
        selected_index_ = -1;
        typed_address_ = text.toStdString();
    } else {
        // Neither a listed device nor an address: nothing to take yet.
        combo_->setFocus();
        return;
    }
    QDialog::accept();
}

DeviceChoice QtDeviceChooser::ChooseDevice(const std::vector<std::string>& names,
                                           int initial_index) {
    CDeviceSelectDialog dialog(parent_);
    for (const std::string& name : names) dialog.AddDevice(name);
    dialog.SetInitialSelection(initial_index);
    if (dialog.exec() != QDialog::Accepted) return {};
    return {true, dialog.SelectedIndex(), dialog.TypedAddress()};
}

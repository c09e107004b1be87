#include "app/message_box_prompts.h"

#include <QMessageBox>

void MessageBoxPrompts::ShowMessage(const std::string& text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Quillomat"),
                    QString::fromStdString(text), QMessageBox::Ok, parent_);
    box.exec();
}

void MessageBoxPrompts::ShowWarning(const std::string& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Quillomat"), QString::fromStdString(text),
                    QMessageBox::Ok, parent_);
    box.exec();
}

bool MessageBoxPrompts::AskYesNo(const std::string& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Quillomat"),
                    QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No, parent_);
    return box.exec() == QMessageBox::Yes;
}

bool MessageBoxPrompts::AskOkCancel(const std::string& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Quillomat"),
                    QString::fromStdString(text), QMessageBox::Ok | QMessageBox::Cancel, parent_);
    return box.exec() == QMessageBox::Ok;
}

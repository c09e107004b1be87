#pragma once

#include "platform/prompts.h"

class QWidget;

// The prompts as message boxes owned by the main window, titled "Quillomat".
class MessageBoxPrompts final : public Prompts {
public:
    explicit MessageBoxPrompts(QWidget* parent) : parent_(parent) {}
    void ShowMessage(const std::string& text) override;
    void ShowWarning(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    bool AskOkCancel(const std::string& text) override;

private:
    QWidget* parent_;
};

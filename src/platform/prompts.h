#pragma once

#include <string>

// Message boxes, reached through one seam so that tests and the headless
// runner answer them without blocking.
class Prompts {
public:
    virtual ~Prompts() = default;
    // A message with an OK button.
    virtual void ShowMessage(const std::string& text) = 0;
    // A message with an OK button and the exclamation icon: the dialogs'
    // validation prompts. Seams without icons show it as a message.
    virtual void ShowWarning(const std::string& text) { ShowMessage(text); }
    // A question with Yes and No buttons; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
    // A question with OK and Cancel buttons; true for OK. Seams without
    // buttons of their own answer it as a Yes/No question.
    virtual bool AskOkCancel(const std::string& text) { return AskYesNo(text); }
};

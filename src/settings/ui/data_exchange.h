#pragma once

#include <cstdint>
#include <string>

class Prompts;
class QAbstractButton;
class QLineEdit;
class QPlainTextEdit;
class QWidget;

// Moves a dialog's variables into its controls or its controls back into the
// variables, as the dialogs of a classic data-exchange framework do. A dialog
// lists its fields once, in control order, and runs the list in either
// direction:
//
//   void Exchange(DataExchange& dx) {
//       dx.UInt(hours_, settings.INTERVAL_HOUR, 0, 1024);
//       dx.Int(level_, settings.MOTION_DETECT_LEVEL, 0, 100);
//   }
//
// Reading the controls checks each number: text that is not a number leaves
// the variable as it was; a number is stored first and then checked against
// its range. The first failure shows its prompt, puts the focus on the field
// with its text selected, and turns every later call of the list into a no-op,
// so the variables before the failing field hold their new values and those
// after it keep their old ones. Writing to the controls never fails.
class DataExchange {
public:
    enum class Direction { kToControls, kFromControls };

    DataExchange(Direction direction, Prompts& prompts);

    bool Saving() const { return direction_ == Direction::kFromControls; }
    bool Failed() const { return failed_; }
    // The field whose check failed, or null.
    QWidget* FailedField() const { return failed_field_; }

    // Signed 32-bit: "Please enter an integer." for text that is not one.
    void Int(QLineEdit* edit, std::int32_t& value);
    void Int(QLineEdit* edit, std::int32_t& value, std::int32_t min, std::int32_t max);
    // Unsigned 32-bit: "Please enter a positive integer." for text that is not
    // one (a minus sign included). The variable keeps the bits of the number;
    // a negative variable shows as its unsigned value, as the framework does.
    void UInt(QLineEdit* edit, std::int32_t& value);
    void UInt(QLineEdit* edit, std::int32_t& value, std::uint32_t min, std::uint32_t max);
    void UInt(QLineEdit* edit, std::uint32_t& value);
    void UInt(QLineEdit* edit, std::uint32_t& value, std::uint32_t min, std::uint32_t max);

    void Text(QLineEdit* edit, std::string& value);
    void Text(QPlainTextEdit* edit, std::string& value);
    void Check(QAbstractButton* box, bool& value);

    // Range prompt of a failed check, with the bounds in place of %1 and %2.
    static std::string RangePrompt(std::int64_t min, std::int64_t max);

private:
    bool Active() const { return !failed_; }
    void Fail(QLineEdit* edit, const std::string& prompt);

    Direction direction_;
    Prompts& prompts_;
    bool failed_ = false;
    QWidget* failed_field_ = nullptr;
};

inline constexpr const char* kPromptInteger = "Please enter an integer.";
inline constexpr const char* kPromptPositiveInteger = "Please enter a positive integer.";
inline constexpr const char* kPromptIntegerRange = "Please enter an integer between %1 and %2.";

// The framework's number parsing: blanks (space, tab) around the number are
// allowed; anything else after it, no digits, or a minus sign in an unsigned
// field fails. A number beyond 32 bits saturates, as the 32-bit conversion
// functions do. Exposed for tests.
bool ParseSignedField(const std::string& text, std::int32_t& value);
bool ParseUnsignedField(const std::string& text, std::uint32_t& value);

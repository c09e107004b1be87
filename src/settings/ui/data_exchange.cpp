#include "settings/ui/data_exchange.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QString>
#include <cstdlib>
#include <limits>

#include "platform/prompts.h"

namespace {

const char* SkipBlanks(const char* p) {
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

// Only blanks may follow the number. A result of 0 counts only when the text
// begins with the digit 0, the framework's test for "no digits" (so "+0" and
// "-0" fail as well).
template <typename T>
bool Finish(const char* start, const char* end, long long parsed, T& value) {
    if (end == start) return false;
    if (parsed == 0 && *start != '0') return false;
    if (*SkipBlanks(end) != '\0') return false;
    value = static_cast<T>(parsed);
    return true;
}

}  // namespace

bool ParseSignedField(const std::string& text, std::int32_t& value) {
    const char* start = SkipBlanks(text.c_str());
    char* end = nullptr;
    long long parsed = std::strtoll(start, &end, 10);
    if (parsed > std::numeric_limits<std::int32_t>::max())
        parsed = std::numeric_limits<std::int32_t>::max();
    if (parsed < std::numeric_limits<std::int32_t>::min())
        parsed = std::numeric_limits<std::int32_t>::min();
    return Finish(start, end, parsed, value);
}

bool ParseUnsignedField(const std::string& text, std::uint32_t& value) {
    const char* start = SkipBlanks(text.c_str());
    if (*start == '-') return false;
    char* end = nullptr;
    unsigned long long parsed = std::strtoull(start, &end, 10);
    if (parsed > std::numeric_limits<std::uint32_t>::max())
        parsed = std::numeric_limits<std::uint32_t>::max();
    return Finish(start, end, static_cast<long long>(parsed), value);
}

DataExchange::DataExchange(Direction direction, Prompts& prompts)
    : direction_(direction), prompts_(prompts) {}

std::string DataExchange::RangePrompt(std::int64_t min, std::int64_t max) {
    return QString::fromUtf8(kPromptIntegerRange).arg(min).arg(max).toStdString();
}

void DataExchange::Fail(QLineEdit* edit, const std::string& prompt) {
    failed_ = true;
    failed_field_ = edit;
    // The prompt comes first; the field takes the focus once it is answered.
    prompts_.ShowWarning(prompt);
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}

void DataExchange::Int(QLineEdit* edit, std::int32_t& value) {
    if (!Active()) return;
    if (!Saving()) {
        edit->setText(QString::number(value));
        return;
    }
    if (!ParseSignedField(edit->text().toStdString(), value)) Fail(edit, kPromptInteger);
}

void DataExchange::Int(QLineEdit* edit, std::int32_t& value, std::int32_t min, std::int32_t max) {
    Int(edit, value);
    if (Active() && Saving() && (value < min || value > max)) Fail(edit, RangePrompt(min, max));
}

void DataExchange::UInt(QLineEdit* edit, std::uint32_t& value) {
    if (!Active()) return;
    if (!Saving()) {
        edit->setText(QString::number(value));
        return;
    }
    if (!ParseUnsignedField(edit->text().toStdString(), value)) Fail(edit, kPromptPositiveInteger);
}

void DataExchange::UInt(QLineEdit* edit, std::uint32_t& value, std::uint32_t min,
                        std::uint32_t max) {
    UInt(edit, value);
    if (Active() && Saving() && (value < min || value > max)) Fail(edit, RangePrompt(min, max));
}

void DataExchange::UInt(QLineEdit* edit, std::int32_t& value) {
    auto bits = static_cast<std::uint32_t>(value);
    UInt(edit, bits);
    value = static_cast<std::int32_t>(bits);
}

void DataExchange::UInt(QLineEdit* edit, std::int32_t& value, std::uint32_t min,
                        std::uint32_t max) {
    auto bits = static_cast<std::uint32_t>(value);
    UInt(edit, bits, min, max);
    value = static_cast<std::int32_t>(bits);
}

void DataExchange::Text(QLineEdit* edit, std::string& value) {
    if (!Active()) return;
    if (Saving())
        value = edit->text().toStdString();
    else
        edit->setText(QString::fromStdString(value));
}

void DataExchange::Text(QPlainTextEdit* edit, std::string& value) {
    if (!Active()) return;
    if (Saving())
        value = edit->toPlainText().toStdString();
    else
        edit->setPlainText(QString::fromStdString(value));
}

void DataExchange::Check(QAbstractButton* box, bool& value) {
    if (!Active()) return;
    if (Saving())
        value = box->isChecked();
    else
        box->setChecked(value);
}

#include "log/log_text.h"

#include <QCoreApplication>
#include <QString>

namespace {

std::string Filled(const QString& text, const std::vector<std::string>& arguments) {
    QString filled;
    filled.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('%') && i + 1 < text.size() && text[i + 1].isDigit()) {
            const auto number = static_cast<std::size_t>(text[i + 1].digitValue());
            if (number >= 1 && number <= arguments.size()) {
                filled += QString::fromStdString(arguments[number - 1]);
                ++i;
                continue;
            }
        }
        filled += c;
    }
    return filled.toStdString();
}

}  // namespace

LogText TranslatedLogText(const char* context, const char* source,
                          const std::vector<std::string>& arguments) {
    return {Filled(QString::fromUtf8(source), arguments),
            TranslatedText(context, source, arguments)};
}

std::string TranslatedText(const char* context, const char* source,
                           const std::vector<std::string>& arguments) {
    return Filled(QCoreApplication::translate(context, source), arguments);
}

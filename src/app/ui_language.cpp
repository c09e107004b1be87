#include "app/ui_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QStringList>
#include <QTranslator>
#include <cstdio>

namespace {

const QString kJapanese = QStringLiteral("ja");
const QString kEnglish = QStringLiteral("en");

QString Environment(const char* name) { return QString::fromLocal8Bit(qgetenv(name)); }

// "ja_JP.UTF-8@mod" -> "ja_JP".
QString WithoutCodeset(const QString& name) {
    qsizetype end = name.size();
    for (const QChar c : {QLatin1Char('.'), QLatin1Char('@')}) {
        const qsizetype at = name.indexOf(c);
        if (at >= 0 && at < end) end = at;
    }
    return name.left(end);
}

bool IsLanguage(const QString& name, const QString& code) {
    const QString language = WithoutCodeset(name);
    return language == code || language.startsWith(code + QLatin1Char('_'));
}

}  // namespace

QString InterfaceLanguage() {
    const QString forced = Environment("QUILLOMAT_LANGUAGE");
    if (forced == kJapanese || forced == kEnglish) return forced;

    QString locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = Environment(name);
        if (!locale.isEmpty()) break;
    }
    if (locale.isEmpty() || locale == QStringLiteral("C") || locale == QStringLiteral("POSIX"))
        return kJapanese;

    const QStringList preferred =
        Environment("LANGUAGE").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& entry : preferred) {
        if (IsLanguage(entry, kJapanese)) return kJapanese;
        if (IsLanguage(entry, kEnglish)) return kEnglish;
    }
    // Languages without a catalogue of their own read English.
    if (!preferred.isEmpty()) return kEnglish;
    if (WithoutCodeset(locale) == QStringLiteral("C") || IsLanguage(locale, kJapanese))
        return kJapanese;
    return kEnglish;
}

QTranslator* LoadInterfaceTranslations(QCoreApplication& app) {
    const QByteArray forced = qgetenv("QUILLOMAT_LANGUAGE");
    if (!forced.isEmpty() && forced != "ja" && forced != "en") {
        std::fprintf(stderr, "quillomat: ignoring QUILLOMAT_LANGUAGE='%s' (ja or en)\n",
                     forced.constData());
    }
    if (InterfaceLanguage() != kEnglish) return nullptr;
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral(":/quillomat/i18n/quillomat_en.qm"))) {
        std::fputs("quillomat: this build lacks its English texts; the Japanese ones stay\n",
                   stderr);
        delete translator;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator);
    return translator;
}

QTranslator* LoadQtTranslations(QCoreApplication& app) {
    const QString language = InterfaceLanguage();
    if (language != kJapanese) return nullptr;
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_") + language, folder)) {
        std::fprintf(stderr,
                     "quillomat: Qt's own texts stay English: no qtbase_%s.qm in %s "
                     "(package qt6-translations-l10n)\n",
                     qPrintable(language), qPrintable(folder));
        delete translator;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator);
    return translator;
}

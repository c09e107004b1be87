#include "app/ui_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>

QString InterfaceLanguage() { return QStringLiteral("ja"); }

QTranslator* LoadQtTranslations(QCoreApplication& app) {
    const QString language = InterfaceLanguage();
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

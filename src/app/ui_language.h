#pragma once

#include <QString>

class QCoreApplication;
class QTranslator;

// The language of the interface: "ja", the designed texts, for every locale
// today (C and POSIX included).
QString InterfaceLanguage();

// Installs Qt's own catalogue for the interface's language (Debian's
// qt6-translations-l10n: qtbase_ja.qm), so that the buttons Qt draws itself
// in message boxes and in the file and colour dialogs speak it too. The
// installed translator, owned by `app`; null, after one line on standard
// error, when the catalogue is not there: Qt's English texts stay then.
QTranslator* LoadQtTranslations(QCoreApplication& app);

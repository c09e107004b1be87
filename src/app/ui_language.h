#pragma once

#include <QString>

class QCoreApplication;
class QTranslator;

// The language of the interface: "ja", the designed texts, or "en".
// QUILLOMAT_LANGUAGE=ja or en decides. Otherwise the locale does, as gettext
// finds it: the first of LC_ALL, LC_MESSAGES and LANG that is set; C or
// POSIX there (or nothing set) keeps the designed texts and, as in gettext,
// LANGUAGE is then not looked at. Else LANGUAGE, a colon list, is gone
// through for the first Japanese or English entry; else the locale's own
// language. Japanese is ja or ja_*; C.UTF-8 is C too; every other language
// gets English.
QString InterfaceLanguage();

// Installs our own catalogue (quillomat_en.qm, built into the program) when
// the interface is English. The installed translator, owned by `app`; null
// for the designed texts. A QUILLOMAT_LANGUAGE that is neither ja nor en is
// said on standard error and left aside.
QTranslator* LoadInterfaceTranslations(QCoreApplication& app);

// Installs Qt's own catalogue for a Japanese interface (Debian's
// qt6-translations-l10n: qtbase_ja.qm), so that the buttons Qt draws itself
// in message boxes and in the file and colour dialogs speak it too; Qt's own
// texts are English already. The installed translator, owned by `app`; null
// in English, and, after one line on standard error, when the catalogue is
// not there.
QTranslator* LoadQtTranslations(QCoreApplication& app);

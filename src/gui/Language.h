#pragma once

#include <QString>

#include <memory>

class QCoreApplication;
class QTranslator;

// The languages the window speaks. Russian is the language the texts are written in; English
// comes from the translation compiled into the resources.
enum class Language { Russian, English };

// Requires: `choice` is "", "ru" or "en" (the --lang option); `localeName` is a POSIX locale
//           name such as "de_DE.UTF-8", "C" or "" (unset).
// Ensures:  the chosen language when given; otherwise Russian for a Russian locale and for
//           C/POSIX ("", "C", "C.UTF-8", "POSIX"), English for every other locale.
Language chooseLanguage(const QString& choice, const QString& localeName);

// Ensures: the locale name that governs messages: the first of LC_ALL, LC_MESSAGES and LANG
//          that is set and not empty; "" when none is.
QString messagesLocaleName();

// Requires: a QCoreApplication exists; call before any window is built, so that its form is
//           translated when it is set up.
// Ensures:  for English the compiled-in translation is installed on `app` and returned (it must
//           live as long as the texts are wanted); for Russian nothing is installed and null is
//           returned, as for English when the resource cannot be read (with a qWarning).
std::unique_ptr<QTranslator> installTranslation(QCoreApplication& app, Language language);

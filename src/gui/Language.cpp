#include "Language.h"

#include <QCoreApplication>
#include <QDebug>
#include <QTranslator>

namespace {
// The translation lrelease builds from translations/visagio_en.ts, compiled into the resources.
const char* const kEnglishTranslation = ":/i18n/visagio_en.qm";
}  // namespace

// The compiled-in translation lives in a static library; it must be registered by hand.
static void initTranslationResources()
{
    Q_INIT_RESOURCE(visagio_translations);
}

Language chooseLanguage(const QString& choice, const QString& localeName)
{
    if (choice == "ru")
        return Language::Russian;
    if (choice == "en")
        return Language::English;
    const bool posix = localeName.isEmpty() || localeName == "C" || localeName == "POSIX" ||
                       localeName.startsWith("C.") || localeName.startsWith("C@");
    const bool russian = localeName == "ru" || localeName.startsWith("ru_") || localeName.startsWith("ru.") ||
                         localeName.startsWith("ru@");
    return posix || russian ? Language::Russian : Language::English;
}

QString messagesLocaleName()
{
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = QString::fromLocal8Bit(qgetenv(variable));
        if (!value.isEmpty())
            return value;
    }
    return QString();
}

std::unique_ptr<QTranslator> installTranslation(QCoreApplication& app, Language language)
{
    if (language == Language::Russian) {
        qDebug() << "language: Russian";
        return nullptr;
    }
    initTranslationResources();
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(kEnglishTranslation)) {
        qWarning() << "language: English translation missing at" << kEnglishTranslation;
        return nullptr;
    }
    app.installTranslator(translator.get());
    qDebug() << "language: English";
    return translator;
}

#include "Translation.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

QTranslator* InstallTranslation(const QLocale& locale) {
    auto* translator = new QTranslator(QCoreApplication::instance());
    // Tries fibrewatch_ru_RU, then fibrewatch_ru, among the compiled-in files.
    if (locale.language() != QLocale::English &&
        translator->load(locale, QStringLiteral("fibrewatch"), QStringLiteral("_"),
                         QStringLiteral(":/i18n")) &&
        QCoreApplication::installTranslator(translator))
        return translator;
    delete translator;
    return nullptr;
}

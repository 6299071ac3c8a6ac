#include "app/windows/QtSpanishTexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace cto {

bool installQtSpanishTexts(QCoreApplication& application) {
    // Dates and numbers as a Spanish reader writes them, whatever the
    // desktop's locale: the save dialog's list dates each file through it.
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    // Qt's base module alone: the widgets' texts are there, and the other
    // modules' catalogues would only cost start-up time.
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_es"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator.get()))
        return false;
    translator.release()->setParent(&application); // the application owns it from now on
    return true;
}

} // namespace cto

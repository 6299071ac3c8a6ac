#include "app/QtSpanishTexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace cto {

bool installQtSpanishTexts(QCoreApplication& application) {
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

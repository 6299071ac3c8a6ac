// Prints what the certificate dialog would list, one row a line as
// "location|name", then each note on a card module left out as "nota|text",
// for tests that must run the listing as another user or in an environment
// of its own. A failure goes to standard error.
//
// Built twice. cto_list_certificates links the engine in, and its one
// argument, if given, is the card-module probe to use (the build tree's
// otherwise). cto_list_through_module loads the engine module named by its
// one argument, as the program loads its own, and leaves the probe to be
// found as the program finds it.
#include "app/SendEngine.h"

#ifdef CTO_LIST_THROUGH_MODULE
#include "app/loader/SendEngineLoader.h"
#else
#include "certificates/ModuleProbe.h"
#endif

#include <QCoreApplication>

#include <cstdio>
#include <exception>
#include <stdexcept>

namespace {

cto::SendEngine& engine(int argc, char* argv[]) {
#ifdef CTO_LIST_THROUGH_MODULE
    if (argc < 2)
        throw std::invalid_argument("the engine module's path is missing");
    return cto::loadSendEngine(QString::fromLocal8Bit(argv[1]));
#else
    // The build tree's probe, unless the caller names a copy (a user who
    // cannot reach the build tree runs one it can).
    cto::setModuleProbePath(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(CTO_MODULE_PROBE));
    return cto::linkedSendEngine();
#endif
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    cto::CertificateListing listing;
    try {
        listing = engine(argc, argv).listCertificates();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
    for (const cto::CertificateRow& row : listing.rows)
        std::printf("%s|%s\n", row.location.toUtf8().constData(), row.name.toUtf8().constData());
    for (const QString& note : listing.notes)
        std::printf("nota|%s\n", note.toUtf8().constData());
    if (listing.failure)
        std::fprintf(stderr, "%s: %s\n", listing.failure.kind.c_str(), listing.failure.message.c_str());
    return 0;
}

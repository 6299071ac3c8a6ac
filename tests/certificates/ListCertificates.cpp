// Prints what the certificate dialog would list, one row a line as
// "location|name", then each note on a card module left out as "nota|text",
// for tests that must run the listing as another user or in an environment
// of its own. A failure goes to standard error. Its one argument, if given,
// is the card-module probe to use.
#include "app/SendEngine.h"
#include "certificates/ModuleProbe.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    // The build tree's probe, unless the caller names a copy (a user who
    // cannot reach the build tree runs one it can).
    cto::setModuleProbePath(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(CTO_MODULE_PROBE));
    const cto::CertificateListing listing = cto::linkedSendEngine().listCertificates();
    for (const cto::CertificateRow& row : listing.rows)
        std::printf("%s|%s\n", row.location.toUtf8().constData(), row.name.toUtf8().constData());
    for (const QString& note : listing.notes)
        std::printf("nota|%s\n", note.toUtf8().constData());
    if (listing.failure)
        std::fprintf(stderr, "%s: %s\n", listing.failure.kind.c_str(), listing.failure.message.c_str());
    return 0;
}

// Prints what the certificate dialog would list, one row a line as
// "location|name", for tests that must run the listing as another user or in
// an environment of its own. A failure goes to standard error.
#include "certificates/ModuleProbe.h"
#include "app/SendEngine.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    cto::setModuleProbePath(QStringLiteral(CTO_MODULE_PROBE));
    const cto::CertificateListing listing = cto::linkedSendEngine().listCertificates();
    for (const cto::CertificateRow& row : listing.rows)
        std::printf("%s|%s\n", row.location.toUtf8().constData(), row.name.toUtf8().constData());
    if (listing.failure)
        std::fprintf(stderr, "%s: %s\n", listing.failure.kind.c_str(), listing.failure.message.c_str());
    return 0;
}

// One store operation against the personal store (CTO_NSS_DATABASE), as one
// process run, for bench/certificates/run.sh to time.
// Usage: bench_certificates list           open, and read what the dialog shows of every certificate
//        bench_certificates hand-over NAME open, find by name as the hook does, make the first ready to sign

#include "certificates/CertificateStore.h"
#include "common/Exception.h"
#include "transport/ClientCertificate.h"

#include <cstdio>
#include <string>

namespace {

int list() {
    const auto store = cto::CertificateStore::openPersonal();
    int shown = 0;
    for (int index = 1; index <= store->Count(); ++index) {
        const cto::StoredCertificate certificate = store->Item(index);
        if (!certificate.isCertificateAuthority() && !certificate.simpleName().isEmpty() &&
            certificate.validTo().isValid())
            ++shown;
    }
    std::printf("%d listed\n", shown);
    return shown > 0 ? 0 : 1;
}

int handOver(const QString& name) {
    const auto store = cto::CertificateStore::openPersonal();
    const auto found = store->findBySubjectName(name);
    if (found.empty() || !found.front().clientCertificate()->usable()) {
        std::fprintf(stderr, "nothing handed over for %s\n", qPrintable(name));
        return 1;
    }
    std::printf("handed over\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        const std::string operation = argc > 1 ? argv[1] : "";
        if (operation == "list" && argc == 2)
            return list();
        if (operation == "hand-over" && argc == 3)
            return handOver(QString::fromUtf8(argv[2]));
        std::fprintf(stderr, "usage: bench_certificates list | hand-over NAME\n");
        return 2;
    } catch (const cto::Exception& failure) {
        std::fprintf(stderr, "%s: %s\n", failure.kindName(), failure.what());
        return 1;
    }
}

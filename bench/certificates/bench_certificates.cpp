// Opens the personal store (CTO_NSS_DATABASE) and reads what the certificate
// dialog shows of every certificate; with a name, then also finds that
// certificate the way the before-send hook does and hands it over.
// Usage: bench_certificates [name]

#include "certificates/CertificateStore.h"
#include "common/Exception.h"
#include "transport/ClientCertificate.h"

#include <cstdio>

int main(int argc, char** argv) {
    try {
        int shown = 0;
        {
            const auto store = cto::CertificateStore::openPersonal(cto::StoreOpenMode::Listing);
            for (int index = 1; index <= store->Count(); ++index) {
                const cto::StoredCertificate certificate = store->Item(index);
                if (!certificate.isCertificateAuthority() && !certificate.simpleName().isEmpty() &&
                    certificate.validTo().isValid())
                    ++shown;
            }
        }
        if (argc > 1) {
            const auto store = cto::CertificateStore::openPersonal(cto::StoreOpenMode::Lookup);
            const auto found = store->findBySubjectName(QString::fromUtf8(argv[1]));
            if (found.empty() || !found.front().exportClientCertificate()) {
                std::fprintf(stderr, "no certificate handed over for %s\n", argv[1]);
                return 1;
            }
        }
        std::printf("%d\n", shown);
        return 0;
    } catch (const cto::Exception& failure) {
        std::fprintf(stderr, "%s: %s\n", failure.kindName(), failure.what());
        return 1;
    }
}

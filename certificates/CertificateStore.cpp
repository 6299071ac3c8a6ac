#include "certificates/CertificateStore.h"

#include <algorithm>

#include "certificates/CertificateDetails.h"
#include "certificates/CertificateSources.h"
#include "certificates/NssClientCertificate.h"
#include "certificates/NssDatabase.h"
#include "certificates/NssLibrary.h"
#include "certificates/NssOwners.h"
#include "certificates/StoreFailures.h"
#include "certificates/SubjectNames.h"
#include "common/FailureKinds.h"
#include "transport/ClientCertificate.h"

#include <QHash>

#include <secerr.h>

namespace cto {

// Keeps the database open while any of its certificates is in use, and while
// a key found through it may sign: closing it would remove its token. (A
// token's module stays loaded for the whole process.)
struct StoredCertificate::Handle {
    nss::Certificate certificate;
    std::shared_ptr<nss::Database> database;
    QString location;
    bool hasPrivateKey = false;
};

StoredCertificate::StoredCertificate(std::shared_ptr<const Handle> handle) : handle_(std::move(handle)) {}

bool StoredCertificate::isCertificateAuthority() const {
    // The extension itself, decoded here: NSS's trust flags say something else.
    const nss::Item extension(SECITEM_AllocItem(nullptr, nullptr, 0));
    if (!extension)
        nss::throwStoreFailure();
    if (CERT_FindCertExtension(handle_->certificate.get(), SEC_OID_X509_BASIC_CONSTRAINTS, extension.get()) !=
        SECSuccess) {
        if (PORT_GetError() == SEC_ERROR_EXTENSION_NOT_FOUND)
            return false;
        nss::throwStoreFailure();
    }
    CERTBasicConstraints constraints{};
    if (CERT_DecodeBasicConstraintValue(&constraints, extension.get()) != SECSuccess)
        nss::throwStoreFailure(); // present but undecodable
    return constraints.isCA == PR_TRUE;
}

QString StoredCertificate::simpleName() const {
    return nss::simpleNameOf(handle_->certificate->subject);
}

QString StoredCertificate::subjectName() const {
    return nss::subjectTextOf(handle_->certificate->subject);
}

QDateTime StoredCertificate::validTo() const {
    return nss::validityOf(*handle_->certificate).to;
}

QByteArray StoredCertificate::der() const {
    const SECItem& der = handle_->certificate->derCert;
    return QByteArray(reinterpret_cast<const char*>(der.data), qsizetype(der.len));
}

QString StoredCertificate::distinguishedName() const {
    return nss::distinguishedNameText(handle_->certificate->subject);
}

QString StoredCertificate::organisation() const {
    return nss::organisationOf(handle_->certificate->subject);
}

QString StoredCertificate::issuerName() const {
    return nss::distinguishedNameText(handle_->certificate->issuer);
}

QString StoredCertificate::serialNumber() const {
    return nss::serialNumberText(handle_->certificate->serialNumber);
}

QDateTime StoredCertificate::validFrom() const {
    return nss::validityOf(*handle_->certificate).from;
}

const QString& StoredCertificate::location() const {
    return handle_->location;
}

bool StoredCertificate::hasPrivateKey() const {
    return handle_->hasPrivateKey;
}

std::shared_ptr<const ClientCertificate> StoredCertificate::clientCertificate() const {
    return nss::clientCertificateOf(handle_->certificate.get(), handle_);
}

bool operator==(const StoredCertificate& left, const StoredCertificate& right) {
    return left.handle_ == right.handle_ ||
           SECITEM_ItemsAreEqual(&left.handle_->certificate->derCert, &right.handle_->certificate->derCert);
}

CertificateStore::CertificateStore(std::vector<StoredCertificate> certificates, QStringList failures,
                                   QStringList notes)
    : certificates_(std::move(certificates)), failures_(std::move(failures)), notes_(std::move(notes)) {}

CertificateStore::~CertificateStore() = default;

namespace {

// Gathers the certificates of the sources in order, each DER once: a later
// copy replaces an earlier one only when it has a key and the earlier has none,
// and then takes its own place in the order, since that is where it is listed from.
class CertificateGathering {
public:
    void add(const nss::CertificateSource& source, CERTCertificate* certificate) {
        auto handle = std::make_shared<StoredCertificate::Handle>();
        handle->certificate.reset(CERT_DupCertificate(certificate));
        handle->database = source.database;
        handle->location = source.label;
        // NSS works this out for the token it lists from, on every listing (the
        // certificate object is shared by all the tokens that hold it): a
        // private key with the certificate's ID or, before the token is logged
        // in to, a public key with it. Read now, before another token's listing.
        handle->hasPrivateKey = CERT_IsUserCert(certificate) == PR_TRUE;
        const QByteArray der(reinterpret_cast<const char*>(certificate->derCert.data),
                             qsizetype(certificate->derCert.len));
        const auto earlier = positions_.constFind(der);
        if (earlier != positions_.cend()) {
            std::optional<StoredCertificate>& kept = gathered_[*earlier];
            if (!handle->hasPrivateKey || kept->hasPrivateKey())
                return;
            kept.reset();
        }
        positions_.insert(der, gathered_.size());
        gathered_.emplace_back(StoredCertificate(std::move(handle)));
    }

    std::vector<StoredCertificate> take() {
        std::vector<StoredCertificate> certificates;
        for (std::optional<StoredCertificate>& certificate : gathered_) {
            if (certificate)
                certificates.push_back(std::move(*certificate));
        }
        return certificates;
    }

private:
    std::vector<std::optional<StoredCertificate>> gathered_;
    QHash<QByteArray, std::size_t> positions_;
};

QString joinedFailures(const QStringList& failures) {
    // A line each: a sentence may hold a semicolon of its own.
    return failures.join(QLatin1Char('\n'));
}

} // namespace

std::unique_ptr<CertificateStore> CertificateStore::openPersonal() {
    nss::ensureStarted();
    nss::OpenedSources opened = nss::openCertificateSources();
    if (opened.sources.empty() && !(opened.failures + opened.notes).isEmpty())
        throw EOleException(joinedFailures(opened.failures + opened.notes).toStdString());
    CertificateGathering gathering;
    for (const nss::CertificateSource& source : opened.sources) {
        // A source's certificates in the order it keeps them: for a database,
        // the order they were added in.
        const nss::CertificateList list(PK11_ListCertsInSlot(source.slot.get()));
        if (!list) {
            opened.failures << QStringLiteral("No se pudieron leer los certificados de «%1»: %2")
                                   .arg(source.label,
                                        QString::fromStdString(nss::errorText(PORT_GetError())));
            continue;
        }
        for (CERTCertListNode* node = CERT_LIST_HEAD(list.get()); !CERT_LIST_END(node, list.get());
             node = CERT_LIST_NEXT(node))
            gathering.add(source, node->cert);
    }
    return std::unique_ptr<CertificateStore>(
        new CertificateStore(gathering.take(), std::move(opened.failures), std::move(opened.notes)));
}

int CertificateStore::Count() const {
    return int(certificates_.size());
}

StoredCertificate CertificateStore::Item(int index) const {
    if (index < 1 || index > Count())
        nss::throwStoreFailure(SEC_ERROR_INVALID_ARGS);
    return certificates_[std::size_t(index - 1)];
}

std::optional<StoredCertificate> CertificateStore::findByDer(const QByteArray& der) const {
    const auto found =
        std::find_if(certificates_.begin(), certificates_.end(),
                     [&der](const StoredCertificate& certificate) { return certificate.der() == der; });
    if (found == certificates_.end())
        return std::nullopt;
    return *found;
}

std::vector<StoredCertificate> CertificateStore::findBySubjectName(const QString& text) const {
    std::vector<StoredCertificate> found;
    for (const StoredCertificate& certificate : certificates_) {
        if (certificate.subjectName().contains(text, Qt::CaseInsensitive))
            found.push_back(certificate);
    }
    return found;
}

QString CertificateStore::sourceFailures() const {
    return joinedFailures(failures_);
}

} // namespace cto

#include "certificates/CertificateStore.h"

#include <algorithm>

#include "certificates/NssClientCertificate.h"
#include "certificates/NssDatabase.h"
#include "certificates/NssLibrary.h"
#include "certificates/NssOwners.h"
#include "certificates/SigningKeyLookup.h"
#include "certificates/StoreFailures.h"
#include "certificates/SubjectNames.h"
#include "common/FailureKinds.h"
#include "transport/ClientCertificate.h"

#include <QDir>
#include <QTimeZone>

#include <secerr.h>

namespace cto {

// Keeps the database open while any of its certificates is in use, and while
// a key found through it may sign: closing it would remove its token.
struct StoredCertificate::Handle {
    nss::Certificate certificate;
    std::shared_ptr<nss::Database> database;
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
    PRTime notBefore = 0;
    PRTime notAfter = 0;
    if (CERT_GetCertTimes(handle_->certificate.get(), &notBefore, &notAfter) != SECSuccess)
        nss::throwStoreFailure();
    // PRTime counts microseconds since the epoch, UTC.
    return QDateTime::fromMSecsSinceEpoch(notAfter / 1000, QTimeZone::utc());
}

QByteArray StoredCertificate::der() const {
    const SECItem& der = handle_->certificate->derCert;
    return QByteArray(reinterpret_cast<const char*>(der.data), qsizetype(der.len));
}

std::shared_ptr<const ClientCertificate> StoredCertificate::clientCertificate() const {
    return nss::clientCertificateOf(handle_->certificate.get(), handle_);
}

std::shared_ptr<const ClientCertificate> StoredCertificate::toClientCertificate() const {
    try {
        return clientCertificate();
    } catch (const nss::LockedTokenFailure&) {
        throw;
    } catch (const EOleException&) {
        return nullptr;
    }
}

bool operator==(const StoredCertificate& left, const StoredCertificate& right) {
    return left.handle_ == right.handle_ ||
           SECITEM_ItemsAreEqual(&left.handle_->certificate->derCert, &right.handle_->certificate->derCert);
}

CertificateStore::CertificateStore(std::vector<StoredCertificate> certificates)
    : certificates_(std::move(certificates)) {}

CertificateStore::~CertificateStore() = default;

std::unique_ptr<CertificateStore> CertificateStore::openPersonal() {
    nss::ensureStarted();
    const auto database = nss::Database::open(personalStoreLocation());
    // The certificates of the database's own token, in the order the database
    // keeps them: the order they were added in.
    const nss::CertificateList list(PK11_ListCertsInSlot(database->slot()));
    if (!list)
        nss::throwStoreFailure();
    std::vector<StoredCertificate> certificates;
    for (CERTCertListNode* node = CERT_LIST_HEAD(list.get()); !CERT_LIST_END(node, list.get());
         node = CERT_LIST_NEXT(node)) {
        auto handle = std::make_shared<StoredCertificate::Handle>();
        handle->certificate.reset(CERT_DupCertificate(node->cert));
        handle->database = database;
        certificates.emplace_back(std::move(handle));
    }
    return std::unique_ptr<CertificateStore>(new CertificateStore(std::move(certificates)));
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

QString personalStoreLocation() {
    QString directory = qEnvironmentVariable("CTO_NSS_DATABASE");
    if (directory.startsWith(QLatin1String("sql:")))
        directory = directory.mid(4);
    if (directory.isEmpty())
        directory = QDir::homePath() + QStringLiteral("/.pki/nssdb");
    return QStringLiteral("sql:") + QDir::cleanPath(QDir(directory).absolutePath());
}

} // namespace cto

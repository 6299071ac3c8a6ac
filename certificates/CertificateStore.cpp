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

namespace {

// One store that holds a certificate. Keeps the database open while any of
// its certificates is in use, and while a key found through it may sign:
// closing it would remove its token. (A token's module stays loaded for the
// whole process.)
struct Holder {
    nss::Slot slot; // the database's token, or the card's
    std::shared_ptr<nss::Database> database;
    QString label;
    // NSS works this out for the token it lists from, on every listing (the
    // certificate object is shared by all the tokens that hold it): a
    // private key with the certificate's ID or, before the token is logged
    // in to, a public key with it.
    bool hasKey = false;
};

} // namespace

// The stores that hold the certificate: the row's own first, then the
// others in the sources' order, which sign only when the row's has no key.
struct StoredCertificate::Handle {
    nss::Certificate certificate;
    std::vector<std::shared_ptr<const Holder>> holders;
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
    return handle_->holders.front()->label;
}

bool StoredCertificate::hasPrivateKey() const {
    return handle_->holders.front()->hasKey;
}

std::optional<StoredCertificate> StoredCertificate::inStore(const QString& location) const {
    const auto& holders = handle_->holders;
    const auto found = std::find_if(holders.begin(), holders.end(),
                                    [&](const auto& holder) { return holder->label == location; });
    if (found == holders.end())
        return std::nullopt;
    if (found == holders.begin())
        return *this;
    auto handle = std::make_shared<Handle>();
    handle->certificate.reset(CERT_DupCertificate(handle_->certificate.get()));
    handle->holders.push_back(*found);
    for (auto holder = holders.begin(); holder != holders.end(); ++holder) {
        if (holder != found)
            handle->holders.push_back(*holder);
    }
    return StoredCertificate(std::move(handle));
}

std::shared_ptr<const ClientCertificate> StoredCertificate::clientCertificate() const {
    std::vector<nss::KeyStore> stores;
    for (const auto& holder : handle_->holders)
        stores.push_back({holder->slot.get(), holder->hasKey});
    return nss::clientCertificateOf(handle_->certificate.get(), stores, handle_);
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

// Gathers the certificates of the sources in order, each DER once, with every
// store that holds it: a row is listed from the first store that holds its
// key, else from the first that holds it; a later store that has the key
// where the earlier ones had none moves the row to its own place in the
// order, since that is where it is listed from.
class CertificateGathering {
public:
    void add(const nss::CertificateSource& source, CERTCertificate* certificate) {
        auto holder = std::make_shared<Holder>();
        holder->slot.reset(PK11_ReferenceSlot(source.slot.get()));
        holder->database = source.database;
        holder->label = source.label;
        // Read now, before another token's listing changes it.
        holder->hasKey = CERT_IsUserCert(certificate) == PR_TRUE;
        const QByteArray der(reinterpret_cast<const char*>(certificate->derCert.data),
                             qsizetype(certificate->derCert.len));
        const auto earlier = positions_.constFind(der);
        if (earlier == positions_.cend()) {
            auto gathered = std::make_shared<Gathered>();
            gathered->certificate.reset(CERT_DupCertificate(certificate));
            gathered->holders.push_back(std::move(holder));
            positions_.insert(der, gathered_.size());
            gathered_.push_back(std::move(gathered));
            return;
        }
        std::shared_ptr<Gathered> gathered = gathered_[*earlier];
        gathered->holders.push_back(holder);
        if (!holder->hasKey || gathered->holders[gathered->row]->hasKey)
            return;
        gathered->row = gathered->holders.size() - 1;
        gathered_[*earlier].reset();
        positions_.insert(der, gathered_.size());
        gathered_.push_back(std::move(gathered));
    }

    std::vector<StoredCertificate> take() {
        std::vector<StoredCertificate> certificates;
        for (const std::shared_ptr<Gathered>& gathered : gathered_) {
            if (!gathered)
                continue;
            auto handle = std::make_shared<StoredCertificate::Handle>();
            handle->certificate = std::move(gathered->certificate);
            handle->holders.push_back(gathered->holders[gathered->row]);
            for (std::size_t i = 0; i < gathered->holders.size(); ++i) {
                if (i != gathered->row)
                    handle->holders.push_back(std::move(gathered->holders[i]));
            }
            certificates.emplace_back(std::move(handle));
        }
        return certificates;
    }

private:
    struct Gathered {
        nss::Certificate certificate;
        std::vector<std::shared_ptr<const Holder>> holders; // in the sources' order
        std::size_t row = 0;                                // the one it is listed from
    };
    // In the listing's order; a moved row leaves an empty place.
    std::vector<std::shared_ptr<Gathered>> gathered_;
    QHash<QByteArray, std::size_t> positions_;
};

QString joinedFailures(const QStringList& failures) {
    // A line each: a sentence may hold a semicolon of its own.
    return failures.join(QLatin1Char('\n'));
}

} // namespace

std::unique_ptr<CertificateStore> CertificateStore::gather(nss::OpenedSources opened) {
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

std::unique_ptr<CertificateStore> CertificateStore::openPersonal() {
    nss::ensureStarted();
    nss::OpenedSources opened = nss::openCertificateSources();
    if (opened.sources.empty() && !(opened.failures + opened.notes).isEmpty())
        throw EOleException(joinedFailures(opened.failures + opened.notes).toStdString());
    // A card's tokens tell whether they hold a key as they are listed: not while another thread lists them.
    const auto lock = nss::lockCardLoading();
    return gather(std::move(opened));
}

std::unique_ptr<CertificateStore> CertificateStore::openEverything() {
    nss::ensureStarted();
    nss::OpenedSources opened = nss::openCertificateSources();
    const auto lock = nss::lockCardLoading();
    return gather(std::move(opened));
}

std::unique_ptr<CertificateStore> CertificateStore::openDatabases() {
    nss::ensureStarted();
    const auto lock = nss::lockCardLoading();
    return gather(nss::openDatabaseSources());
}

bool CertificateStore::cardModulesRegistered() {
    return !nss::plannedCardModules().empty();
}

void CertificateStore::openCards(const std::function<void(std::unique_ptr<CertificateStore>)>& found) {
    nss::ensureStarted();
    nss::openCardSources(nss::plannedCardModules(),
                         [&found](std::size_t, nss::OpenedSources part) { found(gather(std::move(part))); });
}

int CertificateStore::Count() const {
    return int(certificates_.size());
}

StoredCertificate CertificateStore::Item(int index) const {
    if (index < 1 || index > Count())
        nss::throwStoreFailure(SEC_ERROR_INVALID_ARGS);
    return certificates_[std::size_t(index - 1)];
}

std::optional<StoredCertificate> CertificateStore::findByDer(const QByteArray& der,
                                                             const QString& location) const {
    const auto found =
        std::find_if(certificates_.begin(), certificates_.end(),
                     [&der](const StoredCertificate& certificate) { return certificate.der() == der; });
    if (found == certificates_.end())
        return std::nullopt;
    if (std::optional<StoredCertificate> there = found->inStore(location))
        return there;
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

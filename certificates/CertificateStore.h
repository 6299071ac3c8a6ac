#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cto {

class ClientCertificate;

// One certificate of the personal store. Cheap to copy; holds its NSS
// certificate alive. Identified by its DER encoding, never by its NSS nickname
// (two certificates with one subject share a nickname).
class StoredCertificate {
public:
    struct Handle;
    explicit StoredCertificate(std::shared_ptr<const Handle> handle);

    // Whether the basic-constraints extension marks it as a certificate
    // authority; false when the extension is absent.
    bool isCertificateAuthority() const;
    // The display name: the subject's common name; without one, the first of
    // organisational unit, organisation, e-mail address that the subject has.
    QString simpleName() const;
    // The subject's distinguished name as text (what the name search looks in).
    QString subjectName() const;
    // The end of the validity period, UTC.
    QDateTime validTo() const;
    // The certificate's DER encoding: its identity.
    QByteArray der() const;

    // Hands the certificate over to the HTTP layer: the certificate, its private
    // key (exported from NSS under a one-time passphrase, decrypted in memory,
    // never written to disk) and the intermediate certificates the store holds
    // for its chain. May ask for the database password (see setPasswordPrompt).
    // Raises EOleException, with NSS's own words, when the key cannot be had:
    // no private key, a key that cannot be exported (hardware token), the
    // password not given.
    std::shared_ptr<const ClientCertificate> exportClientCertificate() const;
    // The same, but answers nothing instead of failing: the before-send hook
    // hands that on to the transport, which refuses it, and the hook reports
    // the refusal like any other.
    std::shared_ptr<const ClientCertificate> toClientCertificate() const;

    friend bool operator==(const StoredCertificate& left, const StoredCertificate& right);

private:
    std::shared_ptr<const Handle> handle_;
};

// The current user's personal certificate store, opened read-only. A new
// object per filling of the dialog and per lookup.
class CertificateStore {
public:
    // Opens the personal store (personalStoreLocation()). A database that is
    // missing or cannot be read raises EOleException naming the database and
    // NSS's reason; it is never created. A certificate library that cannot be
    // initialised at all raises EOleSysError ("%s, ClassID: %s").
    static std::unique_ptr<CertificateStore> openPersonal();

    ~CertificateStore();
    CertificateStore(const CertificateStore&) = delete;
    CertificateStore& operator=(const CertificateStore&) = delete;

    // Certificates in the store's order: oldest first, as the user added them.
    int Count() const;
    // Index from 1 to Count(); outside that range raises EOleException.
    StoredCertificate Item(int index) const;
    // The certificates whose subject name, as text, contains the text, compared
    // without regard to letter case (Unicode-aware), regardless of validity, in
    // the store's order. An empty text finds every certificate.
    std::vector<StoredCertificate> findBySubjectName(const QString& text) const;
    // The certificate with exactly this DER encoding, if the store holds it.
    std::optional<StoredCertificate> findByDer(const QByteArray& der) const;

private:
    explicit CertificateStore(std::vector<StoredCertificate> certificates);

    std::vector<StoredCertificate> certificates_;
};

// NSS asks for the database password through this; answer nothing to cancel.
// retry is true after a wrong password. Until a prompt is installed, a
// protected key cannot be unlocked and the hand-over fails cleanly.
using PasswordPrompt = std::function<std::optional<std::string>(const QString& tokenName, bool retry)>;
void setPasswordPrompt(PasswordPrompt prompt);

// The NSS database the personal store reads: "sql:" followed by the directory
// named by $CTO_NSS_DATABASE, or $HOME/.pki/nssdb when that is unset or empty.
QString personalStoreLocation();

} // namespace cto

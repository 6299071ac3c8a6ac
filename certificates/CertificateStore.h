#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

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
    // The subject's attribute values as text, joined with ", " (what the name search looks in).
    QString subjectName() const;
    // The end of the validity period, UTC.
    QDateTime validTo() const;
    // The certificate's DER encoding: its identity.
    QByteArray der() const;

    // What tells two certificates of one name apart (see CertificateDetails.h):
    QString distinguishedName() const; // the subject's, "CN=…,O=…"
    QString organisation() const;      // the subject's O=, empty without one
    QString issuerName() const;        // the issuer's distinguished name
    QString serialNumber() const;      // hexadecimal bytes separated by colons
    QDateTime validFrom() const;       // the start of the validity period, UTC

    // Where it was found: the label of its database or token.
    const QString& location() const;
    // Whether its database or token holds its private key, as far as can be
    // told without logging in: a token or a protected database shows its
    // public keys, and a key pair's public half carries the certificate's ID.
    bool hasPrivateKey() const;

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

// The current user's certificates from every source (CertificateSources.h),
// opened read-only. A new object per filling of the dialog and per lookup.
class CertificateStore {
public:
    // Opens every source and reads their certificates: each certificate once,
    // however many sources hold it (the same DER), from the first source that
    // holds its key, else from the first that holds it; in the order of the
    // sources, then of each source. A source that cannot be opened is left
    // out and recorded (sourceFailures()); when no source at all could be
    // opened and one failed, EOleException names them all. Nothing is ever
    // created or written. A certificate library that cannot be initialised at
    // all raises EOleSysError ("%s, ClassID: %s").
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
    // The certificate with exactly this DER encoding, if any source holds it.
    std::optional<StoredCertificate> findByDer(const QByteArray& der) const;

    // The sources that exist but could not be opened or read, one sentence
    // each, joined with "; "; empty when every source was read.
    QString sourceFailures() const;

private:
    CertificateStore(std::vector<StoredCertificate> certificates, QStringList failures);

    std::vector<StoredCertificate> certificates_;
    QStringList failures_;
};

// NSS asks for the database password through this; answer nothing to cancel.
// retry is true after a wrong password. Until a prompt is installed, a
// protected key cannot be unlocked and the hand-over fails cleanly.
using PasswordPrompt = std::function<std::optional<std::string>(const QString& tokenName, bool retry)>;
void setPasswordPrompt(PasswordPrompt prompt);

} // namespace cto

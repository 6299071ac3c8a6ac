#pragma once

#include "certificates/PasswordPrompt.h"

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

    // The certificate ready for the HTTP layer: the certificate, a key that
    // signs the TLS handshake through NSS (the private key never leaves its
    // database or card), the intermediate certificates the store holds for its
    // chain, and what the key can sign. Logs in to the key's token first, so
    // the database password or the card's PIN is asked here (see
    // setPasswordPrompt), before any connection opens. Raises EOleException,
    // with NSS's own words, when the key cannot be had: no private key, the
    // password not given, the card gone or locked.
    std::shared_ptr<const ClientCertificate> clientCertificate() const;
    // The same, but answers nothing instead of failing: the before-send hook
    // hands that on to the transport, which refuses it, and the hook reports
    // the refusal like any other. A card whose PIN is locked still fails:
    // there is nothing to ask, and sending without it would only fail later.
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

// The NSS database the personal store reads: "sql:" followed by the directory
// named by $CTO_NSS_DATABASE, or $HOME/.pki/nssdb when that is unset or empty.
QString personalStoreLocation();

} // namespace cto

#pragma once

#include "certificates/PasswordPrompt.h"

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

namespace nss {
struct OpenedSources;
}

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
    // The same certificate as the store of that label holds it, listed from
    // there: its key is taken there first. Nothing when that store does not hold it.
    std::optional<StoredCertificate> inStore(const QString& location) const;
    // Whether its database or token holds its private key, as far as can be
    // told without logging in: a token or a protected database shows its
    // public keys, and a key pair's public half carries the certificate's ID.
    bool hasPrivateKey() const;

    // The certificate ready for the HTTP layer: the certificate, a key that
    // signs the TLS handshake through NSS (the private key never leaves its
    // database or card), the intermediate certificates the store holds for its
    // chain, and what the key can sign. The key is the one in the store it is
    // listed from (location()); only when that store has none, the first
    // other store that holds the certificate with its key. Logs in to that
    // store alone first, so its own password or the card's PIN is asked here
    // (see setPasswordPrompt), before any connection opens. Raises EOleException,
    // with NSS's own words, when the key cannot be had: no private key, the
    // password not given, the card gone or locked.
    std::shared_ptr<const ClientCertificate> clientCertificate() const;

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
    // The same, but a source that could not be opened is only recorded, even
    // when no source at all was.
    static std::unique_ptr<CertificateStore> openEverything();
    // The same from the databases and profiles alone, at once: no card
    // module is probed or loaded. Never raises for a source; each one that
    // could not be read is recorded.
    static std::unique_ptr<CertificateStore> openDatabases();
    // The cards alone: probes every card module side by side and calls found
    // with a store of each module's tokens (or of none, with the sentence that
    // says why) as soon as that module is done, from a thread of its own;
    // calls never overlap. Returns once every module is done.
    static void openCards(const std::function<void(std::unique_ptr<CertificateStore>)>& found);
    // Whether any card module is registered, which openCards would try.
    static bool cardModulesRegistered();

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
    // The certificate with exactly this DER encoding, if any source holds it:
    // as the store of that location holds it (the row the user picked) when
    // it does, else as it is listed.
    std::optional<StoredCertificate> findByDer(const QByteArray& der, const QString& location = {}) const;

    // The sources that exist but could not be opened or read, one sentence
    // each, a line each; empty when every source was read.
    QString sourceFailures() const;
    // The card modules left out because they crashed, hung or failed in
    // their probe, one sentence each: worth telling even when other sources
    // were read.
    const QStringList& moduleNotes() const noexcept { return notes_; }

private:
    CertificateStore(std::vector<StoredCertificate> certificates, QStringList failures, QStringList notes);
    static std::unique_ptr<CertificateStore> gather(nss::OpenedSources opened);

    std::vector<StoredCertificate> certificates_;
    QStringList failures_;
    QStringList notes_;
};

} // namespace cto

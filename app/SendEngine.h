#pragma once

// The seam between the program's windows and the send engine: everything of
// the send workflow that needs the TLS, certificate-store and XML libraries.
// The program loads the engine as a module when the workflow first needs it,
// so that those libraries cost the window's appearance nothing; tests link it
// in. The program calls in; the engine reaches the windows only through the
// Host it was handed, never by symbol. No exception crosses in either
// direction: a failure travels as a Failure value, every call is noexcept.
// This header holds declarations only: each side compiles its own copy of
// what it needs, so neither resolves code against the other.

#include "common/Credentials.h"
#include "common/PasswordRequest.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cto {

// Raised by any change to the classes below; a module of another version is refused.
inline constexpr std::uint32_t kSendEngineInterfaceVersion = 7;

// A failure raised on one side of the seam, for the other to raise again:
// the kind name as the user reads it, and the message. No kind: no failure.
struct Failure {
    std::string kind;
    std::string message;

    explicit operator bool() const noexcept { return !kind.empty(); }
};

// The certificate the user picked in the certificate dialog.
struct ChosenCertificate {
    QByteArray der;   // its identity: two certificates may share a name
    QString name;     // the row's name
    QString location; // where the row says it is kept ("Chromium / escritorio", "Tarjeta: y")
};

// What the engine asks of a main window during a run.
class SendHost {
public:
    // Called repeatedly while the exchange waits on the network; false stops it.
    virtual bool waiting() noexcept = 0;
    // The before-send hook: asks the user for a certificate and answers the
    // chosen one, or nothing to send the request without one.
    virtual std::optional<ChosenCertificate> chooseCertificate() noexcept = 0;
    // The office's server or the proxy wants credentials; nothing when the user cancels.
    virtual std::optional<Credentials> askCredentials(const CredentialsRequest& request) noexcept = 0;
    // A certificate database or token wants its password; nothing when the user cancels.
    virtual std::optional<std::string> askStorePassword(const PasswordRequest& request) noexcept = 0;

protected:
    ~SendHost() = default;
};

// The verdict on a stored response, as the user reads it.
struct Outcome {
    QString message;
    QString proposedFileName;
    // The stored response file, from which the user's own copy is made.
    std::string responsePath;
    // Why the receipt's copy in the user's data folder could not be kept, for
    // the log; empty when it was.
    QString receiptCopyFailure;
};

// The SOAP client of one main window.
class SendSession {
public:
    virtual ~SendSession() = default;
    // Description location, service, port, URL.
    virtual Failure configureEndpoint() noexcept = 0;
    // Posts the survey, read in pieces from the open file `survey` (a
    // descriptor that the window keeps open and locked until this returns).
    // The answer's body goes to a hidden file beside responsePath as it
    // arrives, never into memory; answers its size.
    virtual Failure execute(int survey, const std::string& responsePath,
                            std::int64_t& answerSize) noexcept = 0;
    // Stores the answer of the last execute at its responsePath, normalised,
    // in one pass over it, and reads the verdict on the way. An answer that
    // cannot be read is stored as it came, and the failure answered.
    virtual Failure storeResponse(Outcome& outcome) noexcept = 0;
};

struct CertificateRow {
    QString name;
    QDateTime validTo;
    QByteArray der; // the certificate's identity: two certificates may share a name
    // What tells two certificates of one name apart (the row's tooltip):
    QString subject;      // the whole distinguished name
    QString organisation; // the subject's O, empty without one
    QString issuer;       // the issuer's distinguished name
    QString serialNumber; // hexadecimal, bytes separated by colons
    QDateTime validFrom;  // UTC
    QString location;     // where it lives: "Chromium / escritorio", "Firefox, perfil x", "Tarjeta: y"
};

// The user's certificates that have a private key, certificate authorities
// left out, each once, in the order of the stores and then of each store.
// A failure while listing keeps the rows read before it.
struct CertificateListing {
    bool opened = false;
    std::vector<CertificateRow> rows;
    Failure failure;
    // What the user must hear of even when rows were listed, one sentence
    // each, naming the store or card module and the reason: a store that
    // exists but could not be read, a card module that crashed, hung or
    // failed when tried apart, a registered module whose library is missing.
    QStringList notes;
    // From listStoredCertificates: card modules are registered, whose rows
    // listCardCertificates gives.
    bool cardsToSearch = false;
};

// Takes the cards' rows as each card module is done.
class CardListingSink {
public:
    // Called from a thread of the engine's own; calls never overlap.
    virtual void cardsListed(CertificateListing part) noexcept = 0;

protected:
    ~CardListingSink() = default;
};

class SendEngine {
public:
    // The host must outlive the session.
    virtual Failure createSession(SendHost& host, std::unique_ptr<SendSession>& session) noexcept = 0;
    // Every store, cards included, once every card module has answered.
    virtual CertificateListing listCertificates() noexcept = 0;
    // The databases and profiles alone, at once: no card module is tried.
    virtual CertificateListing listStoredCertificates() noexcept = 0;
    // The cards alone: tries every card module side by side, each in a
    // process of its own, and hands the sink each module's rows (or the note
    // on why it has none) as soon as it is done. Returns once every module
    // is done, at most the probe's bound after it was called; call it from
    // a thread other than the windows'.
    virtual void listCardCertificates(CardListingSink& sink) noexcept = 0;

protected:
    ~SendEngine() = default;
};

// The process's engine: the module beside the executable, loaded on first
// use, or the one linked in. A failure to load is EFOpenError.
SendEngine& sendEngine();

// The engine compiled into this image.
SendEngine& linkedSendEngine();

} // namespace cto

// The module's only exported symbol. Answers the module's interface version,
// and its engine in *engine only when that equals hostVersion.
extern "C" std::uint32_t ctoSendEngineEntry(std::uint32_t hostVersion, cto::SendEngine** engine) noexcept;

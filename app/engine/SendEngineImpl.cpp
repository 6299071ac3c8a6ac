// The send workflow's parts that need the TLS, certificate-store and XML
// libraries, behind the SendEngine interface. Every entry catches what it
// raises and hands it back as a Failure.
#include "app/SendEngine.h"

#include "app/SeamFailure.h"
#include "app/engine/EmptyAnswer.h"
#include "app/engine/OutcomeReport.h"
#include "app/engine/ReceiptArchive.h"
#include "app/engine/ServiceEndpoint.h"
#include "certificates/CertificateStore.h"
#include "certificates/LockedTokenFailure.h"
#include "common/FailureKinds.h"
#include "common/FileStream.h"
#include "common/ReplacementFile.h"
#include "response/ResponseExtraction.h"
#include "transport/ClientCertificate.h"
#include "transport/ServiceDeployment.h"
#include "transport/THTTPRIO.h"

#include <filesystem>
#include <functional>

namespace cto {
namespace {

// While it lives, the store asks this host for passwords and PINs.
class PasswordPromptScope {
public:
    explicit PasswordPromptScope(SendHost& host) {
        setPasswordPrompt([this, &host](const PasswordRequest& request) {
            std::optional<std::string> answer = host.askStorePassword(request);
            cancelled_ = cancelled_ || !answer;
            return answer;
        });
    }
    ~PasswordPromptScope() { setPasswordPrompt({}); }
    PasswordPromptScope(const PasswordPromptScope&) = delete;
    PasswordPromptScope& operator=(const PasswordPromptScope&) = delete;

    // The user closed a password or PIN prompt without answering.
    bool cancelled() const noexcept { return cancelled_; }

private:
    bool cancelled_ = false;
};

// How a message names the certificate: as its row in the dialog did.
std::string shownNameOf(const ChosenCertificate& chosen) {
    const QString location =
        chosen.location.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(chosen.location);
    return (QStringLiteral("«%1»").arg(chosen.name) + location).toStdString();
}

[[noreturn]] void refuseChosen(const ChosenCertificate& chosen, const std::string& reason) {
    throw EOleException("La encuesta no se envió: el certificado elegido " + shownNameOf(chosen) + " " +
                        reason);
}

// Attaches the very certificate the user picked, whatever others share its
// name (after a renewal the old and the new one do). Its key's database or
// card asks for its password or PIN here, before the connection opens, so
// that the handshake signs without asking. A certificate once picked goes
// with the request or nothing goes: every way it can fail here stops the
// exchange before a byte leaves. A cancelled prompt stops it as the user's
// own stop does.
void attachCertificate(const ChosenCertificate& chosen, HttpRequest& request,
                       const PasswordPromptScope& prompt) {
    // A row of a database whose key is there needs no card module: one that
    // is still being tried for the dialog, or hangs, costs this send nothing.
    std::unique_ptr<CertificateStore> store;
    std::optional<StoredCertificate> found;
    if (!chosen.location.startsWith(QLatin1String("Tarjeta: "))) {
        store = CertificateStore::openDatabases();
        found = store->findByDer(chosen.der, chosen.location);
        if (found && (found->location() != chosen.location || !found->hasPrivateKey()))
            found.reset();
    }
    if (!found) {
        store = CertificateStore::openPersonal();
        found = store->findByDer(chosen.der, chosen.location);
    }
    if (!found)
        refuseChosen(chosen,
                     "ya no está en su almacén: puede que se haya borrado o que se haya retirado su tarjeta");
    std::shared_ptr<const ClientCertificate> certificate;
    try {
        certificate = found->clientCertificate();
    } catch (const nss::LockedTokenFailure&) {
        throw; // it names the card, and says why nothing can be asked
    } catch (const EOleException& failure) {
        if (prompt.cancelled())
            throw EAbort();
        refuseChosen(chosen, "no se puede usar: " + failure.message());
    }
    if (!request.setClientCertificate(std::move(certificate), shownNameOf(chosen)))
        refuseChosen(chosen, "no se puede usar: su clave no corresponde al certificado");
}

// Every receipt is kept besides the response file, which the next run of a
// survey of the same name replaces. A copy that cannot be kept costs the run
// nothing but a line in the log: the response file holds the receipt.
QString receiptCopyFailure(const ResponseSummary& response, const std::string& storedPath) {
    try {
        FileStream stored = FileStream::openForReading(storedPath);
        keepReceipt(stored, orderNumberForFileName(response), QDateTime::currentDateTime());
        return {};
    } catch (const Exception& failure) {
        return QStringLiteral("No se pudo guardar la copia del resguardo: ") +
               QString::fromStdString(failure.message());
    }
}

class WindowSendSession : public SendSession {
public:
    explicit WindowSendSession(SendHost& host) {
        THTTPReqResp& transport = client_.HTTPWebNode();
        transport.UseUTF8InHeader = true;
        // Only a server whose certificate a trusted authority vouches for, for
        // the office's own name and within its dates, sees the survey.
        transport.InvokeOptions = soAutoCheckAccessPointViaUDDI;
        transport.TrustedAuthorities = serviceAuthoritiesFile();
        transport.OnWaiting = [&host] { return host.waiting(); };
        transport.OnBeforePost = [this, &host](THTTPReqResp&, HttpRequest& request) {
            const std::optional<ChosenCertificate> chosen = host.chooseCertificate();
            if (!chosen)
                return; // the request leaves without a certificate, and the office decides
            // Until the exchange ends: a card may ask for its PIN again as the
            // handshake signs (a key that wants it for every signature).
            prompt_.emplace(host);
            attachCertificate(*chosen, request, *prompt_);
        };
        transport.OnCredentialsNeeded = [&host](const CredentialsRequest& request) {
            return host.askCredentials(request);
        };
    }

    Failure configureEndpoint() noexcept override {
        return failureOf([this] { configureServiceEndpoint(client_); });
    }

    Failure execute(int survey, const std::string& responsePath, std::int64_t& answerSize) noexcept override {
        Failure failure = failureOf([&] {
            answer_.reset();
            FileStream body = FileStream::sharing(survey);
            THTTPReqResp& transport = client_.HTTPWebNode();
            // Beside the response file, with no name yet: an exchange that fails
            // or a run that is killed leaves nothing behind.
            answer_.emplace(responsePath);
            responsePath_ = responsePath;
            ReplacementSink received(*answer_);
            try {
                transport.Execute(body, received);
            } catch (const ESOAPHTTPException&) {
                answer_.reset();
                // A card that asks for its PIN at every signature, asked during
                // the handshake and cancelled: the user's stop, not a fault.
                if (prompt_ && prompt_->cancelled())
                    throw EAbort();
                throw;
            } catch (...) {
                answer_.reset();
                throw;
            }
            if (received.size() == 0)
                received.writeBuffer(receiptForEmptyAnswer(transport.StatusCode()));
            answerSize = received.size();
        });
        prompt_.reset(); // no handshake signs once the exchange is over
        return failure;
    }

    Failure storeResponse(Outcome& outcome) noexcept override {
        return failureOf([&] {
            if (!answer_)
                throw EXMLDocError("No hay respuesta del servicio que guardar");
            // The response file is replaced once, by the final bytes: a run that
            // fails or is killed before that leaves an earlier receipt as it was.
            ReplacementFile element(responsePath_);
            ResponseSummary summary;
            try {
                FileStream received = FileStream::openForReading(answer_->temporaryPath());
                FileStream spool =
                    FileStream::createUnnamed(std::filesystem::path(responsePath_).parent_path().string());
                ReplacementSink written(element);
                summary = extractResponse(received, written, spool);
            } catch (const Exception&) {
                // What the office said, for whoever reads the file after this failure.
                answer_->commit();
                answer_.reset();
                throw;
            }
            element.commit();
            answer_.reset();
            outcome = readOutcome(summary, responsePath_);
            outcome.receiptCopyFailure = receiptCopyFailure(summary, responsePath_);
        });
    }

private:
    std::optional<PasswordPromptScope> prompt_;
    std::optional<ReplacementFile> answer_; // the last exchange's answer, until stored
    std::string responsePath_;
    THTTPRIO client_; // after the prompt: its connections may sign until they close
};

CertificateRow rowOf(const StoredCertificate& certificate) {
    CertificateRow row;
    row.name = certificate.simpleName();
    row.validTo = certificate.validTo();
    row.der = certificate.der();
    row.subject = certificate.distinguishedName();
    row.organisation = certificate.organisation();
    row.issuer = certificate.issuerName();
    row.serialNumber = certificate.serialNumber();
    row.validFrom = certificate.validFrom();
    row.location = certificate.location();
    return row;
}

// The rows the dialog lists from a store, and every sentence it must show
// besides them. A failure while reading keeps the rows read before it.
CertificateListing listingOf(const std::function<std::unique_ptr<CertificateStore>()>& open) {
    CertificateListing listing;
    std::unique_ptr<CertificateStore> store;
    listing.failure = failureOf([&] {
        store = open();
        listing.opened = true;
        const int count = store->Count();
        for (int index = 1; index <= count; ++index) {
            const StoredCertificate certificate = store->Item(index);
            // The user's own certificates: those with a key, and no authorities.
            if (!certificate.hasPrivateKey() || certificate.isCertificateAuthority())
                continue;
            listing.rows.push_back(rowOf(certificate));
        }
    });
    if (store) {
        if (const QString failures = store->sourceFailures(); !failures.isEmpty())
            listing.notes << failures.split(QLatin1Char('\n'));
        listing.notes << store->moduleNotes();
    }
    return listing;
}

class LinkedSendEngine : public SendEngine {
public:
    Failure createSession(SendHost& host, std::unique_ptr<SendSession>& session) noexcept override {
        return failureOf([&] { session = std::make_unique<WindowSendSession>(host); });
    }

    CertificateListing listCertificates() noexcept override {
        return listingOf(&CertificateStore::openEverything);
    }

    CertificateListing listStoredCertificates() noexcept override {
        CertificateListing listing = listingOf(&CertificateStore::openDatabases);
        const Failure planned =
            failureOf([&listing] { listing.cardsToSearch = CertificateStore::cardModulesRegistered(); });
        if (planned && !listing.failure)
            listing.failure = planned;
        return listing;
    }

    void listCardCertificates(CardListingSink& sink) noexcept override {
        const Failure failure = failureOf([&] {
            CertificateStore::openCards([&sink](std::unique_ptr<CertificateStore> cards) {
                sink.cardsListed(listingOf([&cards] { return std::move(cards); }));
            });
        });
        if (failure) {
            CertificateListing listing;
            listing.failure = failure;
            sink.cardsListed(std::move(listing));
        }
    }
};

} // namespace

SendEngine& linkedSendEngine() {
    static LinkedSendEngine engine;
    return engine;
}

} // namespace cto

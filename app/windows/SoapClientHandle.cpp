#include "app/windows/SoapClientHandle.h"

#include "app/SeamFailure.h"
#include "app/windows/uFConexionTulvaOskel.h"
#include "app/windows/uFContrasenaAlmacen.h"
#include "app/windows/uFCredenciales.h"

namespace cto {

SoapClientHandle::SoapClientHandle(TFConexionTulvaOskel& window) : window_(window) {}

SoapClientHandle::~SoapClientHandle() = default;

SendSession& SoapClientHandle::session() {
    if (!session_)
        raiseIfFailed(sendEngine().createSession(*this, session_));
    return *session_;
}

void SoapClientHandle::configureEndpoint() {
    raiseIfFailed(session().configureEndpoint());
}

void SoapClientHandle::execute(const FileStream& survey, const std::string& responsePath) {
    std::int64_t answerSize = 0;
    raiseIfFailed(session().execute(survey.descriptor(), responsePath, answerSize));
}

Outcome SoapClientHandle::storeResponse() {
    Outcome outcome;
    raiseIfFailed(session().storeResponse(outcome));
    return outcome;
}

// The engine's calls below must not see an exception; the windows raise none
// but for memory, and then the safe answer is the user's "no".

bool SoapClientHandle::waiting() noexcept {
    try {
        return window_.keepPaintingWhileWaiting();
    } catch (...) {
        return true;
    }
}

std::optional<ChosenCertificate> SoapClientHandle::chooseCertificate() noexcept {
    try {
        return window_.SoapClientHTTPWebNode1BeforePost();
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<Credentials> SoapClientHandle::askCredentials(const CredentialsRequest& request) noexcept {
    try {
        return cto::askCredentials(request);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<std::string> SoapClientHandle::askStorePassword(const PasswordRequest& request) noexcept {
    try {
        return cto::askStorePassword(request);
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace cto

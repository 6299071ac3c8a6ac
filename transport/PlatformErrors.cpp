#include "transport/PlatformErrors.h"

#include <openssl/x509.h>

#include "common/CodeTexts.h"
#include "common/Trim.h"
#include "transport/CertificateProblems.h"
#include "transport/LibraryTexts.h"
#include "transport/TlsPolicy.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace cto::http {

namespace {

// libcurl's failures by meaning. Codes not listed are internal errors.
struct CurlMapping {
    CURLcode code;
    PlatformError error;
};
constexpr CurlMapping kCurlMappings[] = {
    {CURLE_UNSUPPORTED_PROTOCOL, kUnrecognizedScheme},
    {CURLE_URL_MALFORMAT, kInvalidUrl},
    {CURLE_COULDNT_RESOLVE_PROXY, kNameNotResolved},
    {CURLE_COULDNT_RESOLVE_HOST, kNameNotResolved},
    {CURLE_COULDNT_CONNECT, kCannotConnect},
    {CURLE_PROXY, kCannotConnect},
    {CURLE_WEIRD_SERVER_REPLY, kInvalidServerResponse},
    {CURLE_GOT_NOTHING, kInvalidServerResponse},
    {CURLE_PARTIAL_FILE, kConnectionAborted},
    {CURLE_OUT_OF_MEMORY, kNotEnoughMemory},
    {CURLE_OPERATION_TIMEDOUT, kTimeout},
    {CURLE_ABORTED_BY_CALLBACK, kOperationCancelled},
    {CURLE_SEND_ERROR, kConnectionReset},
    {CURLE_RECV_ERROR, kConnectionReset},
    {CURLE_SEND_FAIL_REWIND, kConnectionReset},
    {CURLE_SSL_CONNECT_ERROR, kSecurityChannelError},
    {CURLE_SSL_ENGINE_NOTFOUND, kSecurityChannelError},
    {CURLE_SSL_ENGINE_SETFAILED, kSecurityChannelError},
    {CURLE_SSL_CERTPROBLEM, kSecurityChannelError},
    {CURLE_SSL_CIPHER, kSecurityChannelError},
    {CURLE_SSL_CACERT_BADFILE, kSecurityChannelError},
    {CURLE_SSL_SHUTDOWN_FAILED, kSecurityChannelError},
    {CURLE_SSL_CRL_BADFILE, kRevocationCheckFailed},
    {CURLE_SSL_INVALIDCERTSTATUS, kRevocationCheckFailed},
    {CURLE_PEER_FAILED_VERIFICATION, kInvalidCertificate},
};

// What the user reads for each number this transport raises. A number that
// only steers the exchange (kForceRetry, kCancelled) has a text too, so that
// no message ever comes out empty.
constexpr CodeText<std::uint32_t> kErrorTexts[] = {
    {kNotEnoughMemory, "No hay memoria suficiente para completar la operación"},
    {kInsufficientBuffer, "Un encabezado de la respuesta es más largo de lo que el programa admite"},
    {kCancelled, "El usuario canceló la operación"},
    {kTimeout, "Se agotó el tiempo de espera de la operación"},
    {kInternalError, "Se produjo un error interno en el cliente HTTP"},
    {kInvalidUrl, "La dirección URL no es válida"},
    {kUnrecognizedScheme, "No se reconoce el protocolo de la dirección URL"},
    {kNameNotResolved, "No se pudo resolver el nombre del servidor"},
    {kOperationCancelled, "Se canceló la operación"},
    {kCannotConnect, "No se puede conectar con el servidor"},
    {kConnectionAborted, "La conexión con el servidor terminó de forma anómala"},
    {kConnectionReset, "Se restableció la conexión con el servidor"},
    {kForceRetry, "La solicitud debe enviarse de nuevo"},
    {kCertificateDateInvalid, "El certificado del servidor está fuera de sus fechas de validez"},
    {kCertificateNameInvalid, "El certificado del servidor no está emitido para el nombre del servidor"},
    {kClientCertificateNeeded,
     "El servidor exige un certificado de cliente para completar la autenticación y no se envió ninguno"},
    {kInvalidCertificateAuthority,
     "El certificado del servidor no está avalado por una entidad de certificación de confianza"},
    {kRevocationCheckFailed, "No se pudo comprobar la revocación del certificado del servidor"},
    {kHeaderNotFound, "No se encontró el encabezado solicitado en la respuesta"},
    {kInvalidServerResponse, "El servidor devolvió una respuesta no válida"},
    {kSecurityChannelError, "Se produjo un error en el canal seguro con el servidor"},
    {kInvalidCertificate, "El certificado del servidor no es válido"},
    {kCertificateRevoked, "El certificado del servidor ha sido revocado"},
};

// How a server that wants a client certificate and got none ends the exchange:
// a failed handshake (TLS 1.2) or an alert on the first read or write (TLS 1.3).
bool endsRefusedHandshake(CURLcode code) {
    return code == CURLE_SSL_CONNECT_ERROR || code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR ||
           code == CURLE_GOT_NOTHING;
}

// "certificado elegido «name» (where it is kept)", after "del".
std::string chosenCertificate(const TransferFailure& failure) {
    return failure.clientCertificateName.empty() ? std::string("certificado elegido")
                                                 : "certificado elegido " + failure.clientCertificateName;
}

std::string outdatedServerText(int version) {
    const std::string offered =
        version == kOlderTlsVersion
            ? std::string("versiones de TLS anteriores a TLS 1.2, que ya no son seguras")
            : tlsVersionName(version) + ", una versión que ya no es segura";
    return "El servidor solo admite " + offered +
           ": el programa exige TLS 1.2 o posterior y no le envió nada";
}

// The failures that are the proxy's own: it cannot be reached, or it would not
// open the tunnel. Empty when the failure is not the proxy's.
std::string proxyFailureText(const TransferFailure& failure) {
    if (failure.proxy.empty())
        return {};
    const std::string proxy = proxyShownName(failure.proxy);
    std::string what;
    if (failure.tunnelStatus == 407 || failure.tunnelStatus == 401)
        what = failure.proxyCredentialsGiven ? "El proxy " + proxy + " no aceptó el usuario o la contraseña"
                                             : "El proxy " + proxy + " pide un usuario y una contraseña";
    else if (failure.tunnelStatus >= 300 || failure.code == CURLE_PROXY)
        what = "El proxy " + proxy + " no abrió la conexión con el servidor de la oficina";
    else if (failure.tunnelStatus == 0 && failure.code == CURLE_COULDNT_CONNECT)
        what = "No se puede conectar con el proxy " + proxy;
    else if (failure.code == CURLE_COULDNT_RESOLVE_PROXY)
        what = "No se pudo resolver el nombre del proxy " + proxy;
    return what.empty() ? what : what + ": la encuesta no se envió";
}

} // namespace

std::string proxyShownName(std::string_view proxy) {
    if (const auto scheme = proxy.find("://"); scheme != std::string_view::npos)
        proxy.remove_prefix(scheme + 3);
    proxy = proxy.substr(0, proxy.find('/'));
    if (const auto at = proxy.rfind('@'); at != std::string_view::npos)
        proxy.remove_prefix(at + 1);
    return std::string(proxy);
}

std::uint32_t platformErrorFor(const TransferFailure& failure) {
    if (failure.code == CURLE_OK)
        return kNoError;
    if (!failure.signingFailure.empty() || failure.outdatedServerVersion != 0 ||
        failure.clientCertificateUnfit)
        return kSecurityChannelError;
    if (failure.clientCertificateAsked && !failure.clientCertificateAttached &&
        endsRefusedHandshake(failure.code))
        return kClientCertificateNeeded;
    if (failure.code == CURLE_PEER_FAILED_VERIFICATION)
        // No refusal recorded by the chain check means libcurl's own host-name check refused it.
        return failure.verifyError ? certificateProblem(failure.verifyError).error : kCertificateNameInvalid;
    // A proxy that would not open the tunnel: libcurl reports it as the
    // connection's failure to receive, but nothing reached the office.
    if (!failure.proxy.empty() && failure.tunnelStatus >= 300)
        return kCannotConnect;
    const auto found = std::find_if(std::begin(kCurlMappings), std::end(kCurlMappings),
                                    [&](const CurlMapping& mapping) { return mapping.code == failure.code; });
    return found != std::end(kCurlMappings) ? found->error : kInternalError;
}

std::string platformErrorText(std::uint32_t error) {
    if (const char* text = textOf(kErrorTexts, error))
        return text;
    return "Error " + std::to_string(error) + " del cliente HTTP";
}

std::string platformErrorMessage(std::uint32_t error, std::string_view detail) {
    return error == kNoError ? std::string() : withDetail(platformErrorText(error), detail);
}

std::string describeFailure(std::uint32_t error, const TransferFailure& failure, const char* errorBuffer) {
    // A refused client authentication surfaces in libcurl as whatever the socket
    // did next (under TLS 1.3 often "getpeername() failed"), which would tell the
    // user nothing; the number is certain, so its text says it all.
    if (error == kClientCertificateNeeded)
        return platformErrorText(error);
    // OpenSSL only knows that the signature failed; the key's store knows why
    // (a card pulled out, a PIN not given).
    if (!failure.signingFailure.empty())
        return platformErrorText(error) + ": la clave del " + chosenCertificate(failure) +
               " no pudo firmar (" + failure.signingFailure + ")";
    if (failure.outdatedServerVersion != 0)
        return outdatedServerText(failure.outdatedServerVersion);
    // The server named what it takes, and the chosen certificate is not of it;
    // rather than go on without it, nothing was sent.
    if (failure.clientCertificateUnfit)
        return "El servidor no admite la clase de clave del " + chosenCertificate(failure) +
               " (ni su tipo ni sus firmas están entre las que pide): la encuesta no se envió";
    if (failure.code == CURLE_PEER_FAILED_VERIFICATION) {
        const std::string reason =
            failure.verifyError
                ? spanishThenLibrary(verifyResultText(failure.verifyError),
                                     X509_verify_cert_error_string(failure.verifyError))
                : spanishThenLibrary(curlCodeText(failure.code), errorBuffer ? errorBuffer : "");
        const std::string certificate =
            failure.refusedCertificate.empty() ? std::string() : ": " + failure.refusedCertificate;
        if (error == kCertificateRevoked)
            return platformErrorText(error) + certificate;
        // The name the request used tells the user more than "the server's name".
        if (error == kCertificateNameInvalid && !failure.host.empty())
            return withDetail("El certificado del servidor no está emitido para " + failure.host, reason) +
                   certificate;
        return platformErrorMessage(error, reason) + certificate;
    }
    const std::string words = errorBuffer && *errorBuffer ? errorBuffer : curl_easy_strerror(failure.code);
    if (const std::string proxy = proxyFailureText(failure); !proxy.empty())
        return withDetail(proxy, words);
    if (failure.code == CURLE_SSL_CACERT_BADFILE)
        return platformErrorMessage(error,
                                    "no se pudieron cargar las entidades de certificación de confianza");
    // Where our text already says what libcurl's code means, its words alone.
    std::string text = platformErrorText(error);
    const std::string meaning = curlCodeText(failure.code);
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    if (text.starts_with(meaning))
        return platformErrorMessage(error, words);
    return platformErrorMessage(error, spanishThenLibrary(meaning, words));
}

} // namespace cto::http

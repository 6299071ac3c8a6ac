#include "transport/LibraryTexts.h"

#include "common/CodeTexts.h"

namespace cto::http {

namespace {

// The codes of an HTTPS transfer through an HTTP or HTTPS proxy; those of
// other protocols (FTP, LDAP, TFTP, SSH, RTSP) cannot come from this program.
constexpr CodeText<int> kCurlTexts[] = {
    {CURLE_UNSUPPORTED_PROTOCOL, "la dirección usa un protocolo que el cliente HTTP no admite"},
    {CURLE_FAILED_INIT, "no se pudo preparar el cliente HTTP"},
    {CURLE_URL_MALFORMAT, "la dirección no está bien formada"},
    {CURLE_NOT_BUILT_IN, "el cliente HTTP se compiló sin una función que hace falta"},
    {CURLE_COULDNT_RESOLVE_PROXY, "no se encontró la dirección del servidor proxy"},
    {CURLE_COULDNT_RESOLVE_HOST, "no se encontró la dirección del servidor"},
    {CURLE_COULDNT_CONNECT, "no se pudo abrir la conexión"},
    {CURLE_WEIRD_SERVER_REPLY, "el servidor respondió algo que no es HTTP"},
    {CURLE_REMOTE_ACCESS_DENIED, "el servidor denegó el acceso"},
    {CURLE_HTTP2, "falló la capa HTTP/2 de la conexión"},
    {CURLE_PARTIAL_FILE, "la transferencia terminó antes de recibir todos los datos anunciados"},
    {CURLE_HTTP_RETURNED_ERROR, "el servidor respondió con un estado de error"},
    {CURLE_WRITE_ERROR, "no se pudo guardar lo recibido"},
    {CURLE_UPLOAD_FAILED, "no se pudo enviar la petición"},
    {CURLE_READ_ERROR, "no se pudo leer lo que había que enviar"},
    {CURLE_OUT_OF_MEMORY, "no hay memoria suficiente"},
    {CURLE_OPERATION_TIMEDOUT, "se agotó el tiempo de espera"},
    {CURLE_RANGE_ERROR, "el servidor no admite la parte pedida"},
    {CURLE_HTTP_POST_ERROR, "falló el envío de los datos"},
    {CURLE_SSL_CONNECT_ERROR, "falló el establecimiento de la conexión segura (TLS)"},
    {CURLE_BAD_DOWNLOAD_RESUME, "no se pudo reanudar la descarga"},
    {CURLE_FUNCTION_NOT_FOUND, "falta una función del cliente HTTP"},
    {CURLE_ABORTED_BY_CALLBACK, "el programa interrumpió la transferencia"},
    {CURLE_BAD_FUNCTION_ARGUMENT, "el cliente HTTP recibió un argumento no válido"},
    {CURLE_INTERFACE_FAILED, "no se pudo usar la interfaz de red indicada"},
    {CURLE_TOO_MANY_REDIRECTS, "demasiadas redirecciones"},
    {CURLE_UNKNOWN_OPTION, "el cliente HTTP no conoce una opción pedida"},
    {CURLE_SETOPT_OPTION_SYNTAX, "una opción del cliente HTTP está mal escrita"},
    {CURLE_GOT_NOTHING, "el servidor cerró la conexión sin responder nada"},
    {CURLE_SSL_ENGINE_NOTFOUND, "no se encontró el motor criptográfico indicado"},
    {CURLE_SSL_ENGINE_SETFAILED, "no se pudo usar el motor criptográfico indicado"},
    {CURLE_SEND_ERROR, "falló el envío de datos por la red"},
    {CURLE_RECV_ERROR, "falló la recepción de datos por la red"},
    {CURLE_SSL_CERTPROBLEM, "hay un problema con el certificado de cliente"},
    {CURLE_SSL_CIPHER, "no se pudo usar el cifrado indicado"},
    {CURLE_PEER_FAILED_VERIFICATION, "no se pudo verificar el certificado del servidor"},
    {CURLE_BAD_CONTENT_ENCODING, "la respuesta viene en una codificación desconocida o dañada"},
    {CURLE_FILESIZE_EXCEEDED, "la respuesta supera el tamaño máximo admitido"},
    {CURLE_USE_SSL_FAILED, "no se pudo exigir la conexión segura"},
    {CURLE_SEND_FAIL_REWIND, "hay que reenviar la petición y no se puede volver a su principio"},
    {CURLE_SSL_ENGINE_INITFAILED, "no se pudo iniciar el motor criptográfico"},
    {CURLE_LOGIN_DENIED, "se rechazaron el usuario o la contraseña"},
    {CURLE_SSL_CACERT_BADFILE, "no se pudieron cargar las entidades de certificación de confianza"},
    {CURLE_SSL_SHUTDOWN_FAILED, "no se pudo cerrar la conexión segura"},
    {CURLE_AGAIN, "la conexión no está lista; hay que intentarlo de nuevo"},
    {CURLE_SSL_CRL_BADFILE, "no se pudo cargar la lista de certificados revocados"},
    {CURLE_SSL_ISSUER_ERROR, "falló la comprobación del emisor del certificado del servidor"},
    {CURLE_CHUNK_FAILED, "falló la transferencia por partes"},
    {CURLE_NO_CONNECTION_AVAILABLE, "no hay ninguna conexión disponible"},
    {CURLE_SSL_PINNEDPUBKEYNOTMATCH, "la clave pública del servidor no es la esperada"},
    {CURLE_SSL_INVALIDCERTSTATUS, "el estado de revocación del certificado del servidor no es válido"},
    {CURLE_HTTP2_STREAM, "falló un flujo de la conexión HTTP/2"},
    {CURLE_RECURSIVE_API_CALL, "el cliente HTTP se llamó a sí mismo desde una respuesta"},
    {CURLE_AUTH_ERROR, "falló la autenticación"},
    {CURLE_HTTP3, "falló la capa HTTP/3 de la conexión"},
    {CURLE_QUIC_CONNECT_ERROR, "falló la conexión QUIC"},
    {CURLE_PROXY, "falló la negociación con el servidor proxy"},
    {CURLE_SSL_CLIENTCERT, "el servidor exige un certificado de cliente"},
    {CURLE_UNRECOVERABLE_POLL, "falló la espera de datos de la red"},
};

} // namespace

std::string curlCodeText(int code) {
    if (const char* text = textOf(kCurlTexts, code))
        return text;
    return "código " + std::to_string(code) + " del cliente HTTP";
}

} // namespace cto::http

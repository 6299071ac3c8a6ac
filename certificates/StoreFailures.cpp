#include "certificates/StoreFailures.h"

#include "common/AsciiText.h"
#include "common/CodeTexts.h"
#include "common/FailureKinds.h"
#include "common/Trim.h"

#include <prerr.h>
#include <secerr.h>
#include <secport.h>

#include <cstdio>

namespace cto::nss {

namespace {

// What the stores, their keys and the card modules can answer while the
// program opens a database, lists its certificates, loads a module, logs in
// and signs; codes of S/MIME, PKCS #12 and the TLS layer cannot come from
// those calls.
constexpr CodeText<PRErrorCode> kNssTexts[] = {
    {SEC_ERROR_IO, "error de lectura o escritura"},
    {SEC_ERROR_LIBRARY_FAILURE, "fallo interno de la biblioteca de seguridad"},
    {SEC_ERROR_BAD_DATA, "los datos están dañados"},
    {SEC_ERROR_OUTPUT_LEN, "la salida no cabe en el espacio previsto"},
    {SEC_ERROR_INPUT_LEN, "la entrada tiene una longitud no válida"},
    {SEC_ERROR_INVALID_ARGS, "argumentos no válidos"},
    {SEC_ERROR_INVALID_ALGORITHM, "algoritmo no válido"},
    {SEC_ERROR_INVALID_AVA, "un elemento del nombre no es válido"},
    {SEC_ERROR_INVALID_TIME, "una fecha está mal escrita"},
    {SEC_ERROR_BAD_DER, "el certificado está mal codificado"},
    {SEC_ERROR_BAD_SIGNATURE, "la firma no es válida"},
    {SEC_ERROR_EXPIRED_CERTIFICATE, "el certificado ha caducado"},
    {SEC_ERROR_REVOKED_CERTIFICATE, "el certificado ha sido revocado"},
    {SEC_ERROR_UNKNOWN_ISSUER, "no se conoce el emisor del certificado"},
    {SEC_ERROR_BAD_KEY, "la clave pública no es válida"},
    {SEC_ERROR_BAD_PASSWORD, "la contraseña no es correcta"},
    {SEC_ERROR_RETRY_PASSWORD, "la contraseña nueva no es válida; escríbala de nuevo"},
    {SEC_ERROR_NO_NODELOCK, "no hay bloqueo de nodo"},
    {SEC_ERROR_BAD_DATABASE, "la base de datos está dañada o no se puede leer"},
    {SEC_ERROR_NO_MEMORY, "no hay memoria suficiente"},
    {SEC_ERROR_UNTRUSTED_ISSUER, "el emisor del certificado no es de confianza"},
    {SEC_ERROR_UNTRUSTED_CERT, "el certificado no es de confianza"},
    {SEC_ERROR_DUPLICATE_CERT, "el certificado ya está en la base de datos"},
    {SEC_ERROR_ADDING_CERT, "no se pudo añadir el certificado a la base de datos"},
    {SEC_ERROR_FILING_KEY, "no se pudo guardar la clave"},
    {SEC_ERROR_NO_KEY, "la clave privada del certificado no está en la base de datos de claves"},
    {SEC_ERROR_CERT_VALID, "el certificado es válido"},
    {SEC_ERROR_CERT_NOT_VALID, "el certificado no es válido"},
    {SEC_ERROR_CERT_NO_RESPONSE, "la biblioteca de certificados no respondió"},
    {SEC_ERROR_EXPIRED_ISSUER_CERTIFICATE, "el certificado del emisor ha caducado"},
    {SEC_ERROR_CA_CERT_INVALID, "el certificado de la entidad emisora no es válido"},
    {SEC_ERROR_UNKNOWN_CRITICAL_EXTENSION, "el certificado tiene una extensión crítica desconocida"},
    {SEC_ERROR_EXTENSION_VALUE_INVALID, "el valor de una extensión no es válido"},
    {SEC_ERROR_EXTENSION_NOT_FOUND, "el certificado no tiene esa extensión"},
    {SEC_ERROR_INADEQUATE_KEY_USAGE, "la clave del certificado no sirve para este uso"},
    {SEC_ERROR_INADEQUATE_CERT_TYPE, "el certificado no sirve para este uso"},
    {SEC_ERROR_NO_MODULE, "no se pudo encontrar el módulo de seguridad"},
    {SEC_ERROR_INVALID_PASSWORD, "la contraseña no cumple las reglas de la base de datos"},
    {SEC_ERROR_USER_CANCELLED, "el usuario canceló la operación"},
    {SEC_ERROR_UNKNOWN_OBJECT_TYPE, "tipo de objeto desconocido"},
    {SEC_ERROR_UNSUPPORTED_KEYALG, "tipo de clave no admitido"},
    {SEC_ERROR_NO_TOKEN, "la tarjeta o el almacén de la clave no está presente"},
    {SEC_ERROR_NO_SLOT_SELECTED, "no se eligió ninguna ranura"},
    {SEC_ERROR_READ_ONLY, "la base de datos es de solo lectura"},
    {SEC_ERROR_TOKEN_NOT_LOGGED_IN,
     "la tarjeta o el almacén no tiene abierta la sesión con su PIN o contraseña"},
    {SEC_ERROR_INCOMPATIBLE_PKCS11, "el módulo PKCS #11 no cumple la norma"},
    {SEC_ERROR_LEGACY_DATABASE, "la base de datos tiene un formato antiguo"},
    {SEC_ERROR_NOT_INITIALIZED, "la biblioteca de seguridad no está iniciada"},
    {SEC_ERROR_PKCS11_GENERAL_ERROR, "el módulo PKCS #11 dio un error general"},
    {SEC_ERROR_PKCS11_FUNCTION_FAILED, "falló una función del módulo PKCS #11"},
    {SEC_ERROR_PKCS11_DEVICE_ERROR, "el dispositivo del módulo PKCS #11 falló"},
    {SEC_ERROR_UNKNOWN_PKCS11_ERROR, "el módulo PKCS #11 dio un error desconocido"},
    {SEC_ERROR_BAD_INFO_ACCESS_METHOD, "método de acceso a la información no válido"},
    {SEC_ERROR_EXPIRED_PASSWORD, "la contraseña ha caducado"},
    {SEC_ERROR_LOCKED_PASSWORD, "el PIN o la contraseña está bloqueado"},
    {SEC_ERROR_MODULE_STUCK, "el módulo no se puede descargar porque está en uso"},
    {SEC_ERROR_BAD_TEMPLATE, "plantilla de decodificación no válida"},
    {SEC_ERROR_CERT_SIGNATURE_ALGORITHM_DISABLED, "el algoritmo de firma del certificado está desactivado"},
    {SEC_ERROR_SIGNATURE_ALGORITHM_DISABLED, "el algoritmo de firma está desactivado por seguridad"},
    {SEC_ERROR_APPLICATION_CALLBACK_ERROR, "la respuesta del programa a la biblioteca falló"},
    {SEC_ERROR_ALGORITHM_MISMATCH, "el algoritmo no corresponde a la clave"},
    {SEC_ERROR_INVALID_KEY, "la clave no sirve para la operación"},
    {SEC_ERROR_INVALID_STATE, "la operación no es válida en este estado"},
    {SEC_ERROR_BUSY, "el módulo está ocupado"},
    {SEC_ERROR_DECRYPTION_DISALLOWED, "no se permite descifrar"},
    {PR_OUT_OF_MEMORY_ERROR, "no hay memoria suficiente"},
    {PR_FILE_NOT_FOUND_ERROR, "no existe el fichero"},
    {PR_NO_ACCESS_RIGHTS_ERROR, "no hay permiso para acceder al fichero"},
    {PR_IO_ERROR, "error de lectura o escritura"},
    {PR_IS_DIRECTORY_ERROR, "es una carpeta"},
    {PR_NOT_DIRECTORY_ERROR, "no es una carpeta"},
    {PR_DIRECTORY_OPEN_ERROR, "no se pudo abrir la carpeta"},
    {PR_READ_ONLY_FILESYSTEM_ERROR, "el sistema de ficheros es de solo lectura"},
    {PR_NO_DEVICE_SPACE_ERROR, "no queda espacio en el dispositivo"},
    {PR_FILE_IS_LOCKED_ERROR, "otro programa tiene el fichero bloqueado"},
    {PR_LOAD_LIBRARY_ERROR, "no se pudo cargar la biblioteca"},
    {PR_FIND_SYMBOL_ERROR, "a la biblioteca le falta una función"},
    {PR_INVALID_ARGUMENT_ERROR, "argumento no válido"},
    {PR_OPERATION_NOT_SUPPORTED_ERROR, "operación no admitida"},
    {PR_NOT_IMPLEMENTED_ERROR, "función no disponible"},
    {PR_UNKNOWN_ERROR, "error desconocido"},
};

} // namespace

std::string spanishErrorText(PRErrorCode code) {
    const char* text = textOf(kNssTexts, code);
    return text ? text : std::string();
}

std::string trimmedDescription(const std::string& text) {
    return std::string(trimRightIf(text, [](char c) { return c == '.' || c == ' ' || isAsciiControl(c); }));
}

std::string errorText(PRErrorCode code) {
    const char* text = code != 0 ? PR_ErrorToString(code, PR_LANGUAGE_I_DEFAULT) : nullptr;
    std::string description = trimmedDescription(text ? text : "");
    // NSPR answers unknown codes with a placeholder rather than nothing.
    if (description.starts_with("Unknown code"))
        description.clear();
    const std::string spanish = spanishErrorText(code);
    if (!spanish.empty())
        return description.empty() ? spanish : spanish + " (" + description + ")";
    if (!description.empty())
        return "error " + std::to_string(code) + " de la biblioteca de seguridad (" + description + ")";
    char fallback[32];
    std::snprintf(fallback, sizeof fallback, "OLE error %.8x", static_cast<unsigned>(code));
    return fallback;
}

void throwStoreFailure(PRErrorCode code, std::string_view context) {
    std::string message = errorText(code);
    if (!context.empty())
        message = std::string(context) + ": " + message;
    throw EOleException(std::move(message));
}

void throwStoreFailure(std::string_view context) {
    throwStoreFailure(PORT_GetError(), context);
}

void throwLibraryFailure(PRErrorCode code) {
    throw EOleSysError(errorText(code) + ", ClassID: " + std::string(storeClassId));
}

} // namespace cto::nss

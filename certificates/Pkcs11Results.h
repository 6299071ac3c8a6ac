#pragma once

// What a PKCS #11 module's return values mean, in the user's words, for the
// messages that name a card module that failed. Header-only and plain C++:
// the card-module probe, which links nothing it need not, reads it too.
// Include after the PKCS #11 header in use (p11-kit's or NSS's): both name
// the values alike.

#include <cstdio>
#include <string>

namespace cto {

struct Pkcs11Result {
    unsigned long value;
    const char* words;
};

// The values a module answers most often when it loads, starts or lists
// its slots; others read as an unknown answer, with their code.
inline constexpr Pkcs11Result kPkcs11Results[] = {
    {CKR_CANCEL, "operación cancelada"},
    {CKR_HOST_MEMORY, "falta memoria en el equipo"},
    {CKR_SLOT_ID_INVALID, "el lector indicado no existe"},
    {CKR_GENERAL_ERROR, "error general del módulo (puede que le falte su configuración)"},
    {CKR_FUNCTION_FAILED, "la función falló"},
    {CKR_ARGUMENTS_BAD, "argumentos no válidos"},
    {CKR_NEED_TO_CREATE_THREADS, "el módulo necesita crear hilos propios"},
    {CKR_CANT_LOCK, "el módulo no puede usar los bloqueos entre hilos"},
    {CKR_DEVICE_ERROR, "error del dispositivo"},
    {CKR_DEVICE_MEMORY, "el dispositivo se quedó sin memoria"},
    {CKR_DEVICE_REMOVED, "el dispositivo se retiró"},
    {CKR_FUNCTION_NOT_SUPPORTED, "el módulo no admite la función"},
    {CKR_TOKEN_NOT_PRESENT, "no hay tarjeta en el lector"},
    {CKR_TOKEN_NOT_RECOGNIZED, "la tarjeta no se reconoce"},
    {CKR_BUFFER_TOO_SMALL, "la respuesta no cabe en el espacio que se le dio"},
    {CKR_CRYPTOKI_NOT_INITIALIZED, "el módulo no se ha iniciado"},
    {CKR_CRYPTOKI_ALREADY_INITIALIZED, "el módulo ya estaba iniciado"},
};

// "«error del dispositivo» (0x30)": the words, then the code as the module's
// documentation gives it.
inline std::string pkcs11ResultText(unsigned long value) {
    const char* words = "respuesta desconocida";
    for (const Pkcs11Result& result : kPkcs11Results) {
        if (result.value == value)
            words = result.words;
    }
    char code[32];
    std::snprintf(code, sizeof code, "0x%lx", value);
    return std::string("«") + words + "» (" + code + ")";
}

} // namespace cto

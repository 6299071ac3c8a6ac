#pragma once

#include <curl/curl.h>

#include <string>

namespace cto::http {

// The libraries under the transport speak English; these give each of their
// codes that an HTTPS exchange can meet its Spanish text. Each names what
// happened in the user's words; the library's own words, which the help desk
// searches for, are added by the caller where they say more.

// libcurl's result codes: "no se pudo abrir la conexión". A code that an
// HTTPS exchange cannot meet has a text with its number. An int, since a
// newer libcurl may answer a code that this program's CURLcode does not name.
std::string curlCodeText(int code);

// OpenSSL's certificate verification results (X509_V_ERR_*): "el certificado
// ha caducado". An unknown number has a text with the number.
std::string verifyResultText(long result);

// The meaning of an HTTP status: "no se encontró el recurso solicitado". A
// status without one of its own has its class's ("el servidor falló").
std::string httpStatusText(int status);

} // namespace cto::http

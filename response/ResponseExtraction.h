#pragma once

#include "response/RespuestaSolicitud.h"

#include <string>
#include <string_view>

namespace cto {

// Cuts the first element named RespuestaSolicitudEncuesta (exact qualified
// name) out of the stored response file, declares the target namespace on it
// and returns it alone: UTF-8, no byte-order mark, no XML declaration. The
// result is well-formed on its own. Throws EDOMParseError when the file is not
// XML, EXMLDocError when no such element is found (quoting a SOAP fault's
// faultstring when the answer is one), EFOpenError when the file cannot be opened.
std::string extraerRespuesta(const std::string& responsePath);

// The same over bytes already in memory.
std::string extraerRespuestaDeMemoria(std::string_view responseBytes);

} // namespace cto

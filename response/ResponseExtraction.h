#pragma once

#include "common/ByteStream.h"
#include "response/ResponseSummary.h"

#include <string>
#include <string_view>

namespace cto {

// Reads the office's answer once, from its first byte, and writes the first
// element named RespuestaSolicitudEncuesta (exact qualified name) to
// `element`, with the target namespace declared on it, standing alone: UTF-8,
// no byte-order mark, no XML declaration, well-formed on its own. The
// element's content passes through `spool` (empty, readable and writable)
// while its start tag is not known. Memory stays flat whatever the answer's
// size. Answers what the outcome needs. Throws EDOMParseError when the answer
// is not XML, EXMLDocError when no such element is found (quoting a SOAP
// fault's faultstring when the answer is one), or the streams' failures.
ResponseSummary extractResponse(ByteStream& answer, ByteStream& element, ByteStream& spool);

// The element alone, from a file (EFOpenError when it cannot be opened) or
// from bytes in memory.
std::string extraerRespuesta(const std::string& responsePath);
std::string extraerRespuestaDeMemoria(std::string_view responseBytes);

} // namespace cto

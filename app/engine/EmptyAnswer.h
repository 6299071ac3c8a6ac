#pragma once

#include <string>
#include <string_view>

namespace cto {

// Stored and reported in place of an empty answer of the office's test
// service, which accepts a test survey without a body, so that the run still
// leaves a receipt.
inline constexpr std::string_view kTestReceipt =
    "<RespuestaSolicitudEncuesta xmlns=\"RespuestaSolicitud.xsd\">"
    "<NumeroOrden>EncuestaDePrueba</NumeroOrden>"
    "<CodigoControl>Prueba</CodigoControl>"
    "<AcuseEnvio>Encuesta de prueba OK</AcuseEnvio>"
    "</RespuestaSolicitudEncuesta>";

// What an empty answer with this HTTP status stands for: the test receipt
// from the office's test service (officeTestService()) with a success
// status; from any other service, or with a failure status, it is no
// receipt at all, and EXMLDocError says so.
std::string receiptForEmptyAnswer(int status);

} // namespace cto

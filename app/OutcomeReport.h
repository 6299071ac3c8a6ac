#pragma once

#include <QString>

#include <string>

namespace cto {

struct Outcome;

class IXMLRespuestaSolicitudEncuesta;

// The verdict as the user reads it: the receipt when the survey was accepted,
// the request to correct it when the office listed errors. The lone carriage
// returns are part of the text.
QString outcomeMessage(IXMLRespuestaSolicitudEncuesta& response);

// The order number as part of a file name: no folder separators, no controls.
QString orderNumberForFileName(IXMLRespuestaSolicitudEncuesta& response);

// The name the save dialog proposes: "Envio" + order number + ".xml".
QString proposedFileName(IXMLRespuestaSolicitudEncuesta& response);

// The verdict and proposed name of a loaded response, with the bytes it was loaded from.
Outcome readOutcome(IXMLRespuestaSolicitudEncuesta& response, std::string normalisedResponse);

} // namespace cto

#pragma once

#include <QString>

#include <string>

class QWidget;
class TSaveDialog;

namespace cto {

class IXMLRespuestaSolicitudEncuesta;

// The verdict as the user reads it: the receipt when the survey was accepted,
// the request to correct it when the office listed errors. The lone carriage
// returns are part of the text.
QString outcomeMessage(IXMLRespuestaSolicitudEncuesta& response);

// The name the save dialog proposes: "Envio" + order number + ".xml".
QString proposedFileName(IXMLRespuestaSolicitudEncuesta& response);

// Shows the verdict, then offers to save the normalised response under a name
// of the user's choice and writes it there. Failures reach the caller.
void reportOutcome(QWidget* parent, TSaveDialog& saveDialog, IXMLRespuestaSolicitudEncuesta& response,
                   const std::string& normalisedResponse);

} // namespace cto

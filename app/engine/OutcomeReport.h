#pragma once

#include <QString>

#include <string>

namespace cto {

struct Outcome;

struct ResponseSummary;

// The verdict as the user reads it: the receipt when the survey was accepted,
// the request to correct it when the office listed errors. The lone carriage
// returns are part of the text.
QString outcomeMessage(const ResponseSummary& response);

// The order number as part of a file name: no folder separators, no controls.
QString orderNumberForFileName(const ResponseSummary& response);

// The name the save dialog proposes: "Envio" + order number + ".xml".
QString proposedFileName(const ResponseSummary& response);

// The verdict and proposed name of a stored response. A field the binding
// cannot read fails as the binding does, in the order the message reads them.
Outcome readOutcome(const ResponseSummary& response, std::string responsePath);

} // namespace cto

#pragma once

#include <libxml/tree.h>

#include <optional>
#include <string>

namespace cto {

// The fault string of the first SOAP 1.1 Fault (its faultstring) or SOAP 1.2
// Fault (the text of its Reason) in the document; nothing when it holds none.
std::optional<std::string> soapFaultString(xmlDocPtr document);

// Whether the node is a SOAP 1.1 or 1.2 Fault element.
bool isSoapFault(xmlNodePtr node);
// The fault string of that Fault, empty when it holds none.
std::string faultStringOf(xmlNodePtr fault);
// Whether a child of a Fault can be what faultStringOf reads: only the first
// element child of each of these names counts.
bool tellsFaultString(xmlNodePtr child);

} // namespace cto

#pragma once

#include <libxml/tree.h>

#include <optional>
#include <string>

namespace cto {

// The fault string of the first SOAP 1.1 Fault (its faultstring) or SOAP 1.2
// Fault (the text of its Reason) in the document; nothing when it holds none.
std::optional<std::string> soapFaultString(xmlDocPtr document);

} // namespace cto

#pragma once

#include "response/XmlDocument.h"

#include <string>

namespace cto {

// Shapes the element's subtree so that its markup stands on its own, then
// writes it as UTF-8 (no declaration, no byte-order mark):
// - prefixes declared on ancestors outside the element and used inside it are
//   declared again on the element;
// - unprefixed descendants whose default namespace came from outside, and the
//   element itself, take the element's own default namespace;
// - default-namespace undeclarations (xmlns="") inside the element are dropped
//   from the markup, so unprefixed descendants in no namespace fall into the
//   element's default namespace when the text is parsed again. Text is never touched.
// The document is changed for good; it is meant to be thrown away afterwards.
std::string writeStandaloneElement(XmlDocument& document, xmlNodePtr element, std::size_t expectedSize);

} // namespace cto

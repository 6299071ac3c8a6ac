#pragma once

#include "common/ByteStream.h"
#include "response/XmlDocument.h"

#include <libxml/parser.h>

namespace cto {

// Sees the tree as libxml2 builds it, one parser event at a time. Each call
// comes after libxml2's own handling of the event, so the nodes it names are
// in the tree. A call must not throw: the parser is C.
class TreeObserver {
public:
    // An element was opened: its attributes and declarations are in place,
    // its children are still to come.
    virtual void elementStarted(xmlParserCtxtPtr context, xmlNodePtr element) noexcept = 0;
    // An element was closed, white-space-only text children already gone; it
    // is still linked to its parent.
    virtual void elementEnded(xmlParserCtxtPtr context, xmlNodePtr element) noexcept = 0;
    // Text, a CDATA section, a comment or a processing instruction went into
    // the current element (nullptr outside the document element).
    virtual void contentAdded(xmlParserCtxtPtr context, xmlNodePtr parent) noexcept = 0;

protected:
    ~TreeObserver() = default;
};

// Parses the whole stream, from its first byte, with the response settings:
// no validation, external definitions never read, internal entities
// expanded, every white-space-only text node dropped. Throws EDOMParseError
// naming the parser's first fault. The observer, when given, may take
// finished nodes out of the tree as the parse goes.
std::unique_ptr<xmlDoc, XmlDocDeleter> parseResponse(ByteStream& source, TreeObserver* observer = nullptr);

} // namespace cto

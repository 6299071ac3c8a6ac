#pragma once

#include "common/ByteStream.h"
#include "response/XmlDocument.h"

#include <libxml/parser.h>

#include <cstddef>
#include <string_view>

namespace cto {

// The longest single text that an answer may hold, in bytes: libxml2's own
// bound for one text node, which the whole-tree reader of a stored response
// file keeps.
inline constexpr std::size_t kMaxTextBytes = 10'000'000;

// One start tag as the parser read it. Names are as written; `uri` is the
// namespace the element is in (nullptr: none).
struct StartTag {
    const xmlChar* localName;
    const xmlChar* prefix; // nullptr: none
    const xmlChar* uri;
    int namespaceCount;
    const xmlChar** namespaces; // pairs: prefix (nullptr for the default namespace), URI
    int attributeCount;
    const xmlChar** attributes; // five each: local name, prefix, URI, value, end of the value
};

// What a streaming read of the answer hands on, in document order, with the
// contents of entities in place. Nothing is built but the document type; a
// handler may throw, which stops the parse and is raised by readResponse.
class ResponseEvents {
public:
    // The document element starts next: the document type, when there is
    // one, is complete in `document`. `encodingNamed`: the answer named its
    // encoding (a declaration or a byte-order mark).
    virtual void prologRead(xmlDocPtr document, bool encodingNamed) = 0;
    virtual void elementStarted(const StartTag& tag) = 0;
    virtual void elementEnded() = 0;
    // A piece of text; consecutive pieces, also across entities, are one text.
    virtual void text(std::string_view piece) = 0;
    virtual void cdata(std::string_view content) = 0;
    virtual void comment(std::string_view content) = 0;
    // `data` is nullptr when the instruction has none.
    virtual void instruction(std::string_view target, const xmlChar* data) = 0;

protected:
    ~ResponseEvents() = default;
};

// Both read the whole stream, from its first byte, with the response
// settings: no validation, external definitions never read, internal
// entities expanded within libxml2's bounds on amplification and depth.
// Both throw EDOMParseError naming the parser's first fault.

// One pass, no tree: hands every node to `events`. A text longer than
// kMaxTextBytes is refused.
void readResponse(ByteStream& source, ResponseEvents& events);

// The whole tree, every white-space-only text node dropped.
std::unique_ptr<xmlDoc, XmlDocDeleter> parseResponse(ByteStream& source);

} // namespace cto

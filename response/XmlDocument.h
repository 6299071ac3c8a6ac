#pragma once

#include "common/ByteStream.h"

#include <libxml/tree.h>

#include <memory>
#include <vector>

namespace cto {

struct XmlDocDeleter {
    void operator()(xmlDocPtr doc) const noexcept { xmlFreeDoc(doc); }
};
struct XmlNodeDeleter {
    void operator()(xmlNodePtr node) const noexcept { xmlFreeNode(node); }
};
struct XmlNsDeleter {
    void operator()(xmlNsPtr ns) const noexcept { xmlFreeNs(ns); }
};

// One parsed document. Nodes taken out of the tree stay owned here until the
// document goes, so a view still holding one never dangles.
class XmlDocument {
public:
    // Parses the whole stream, from its first byte, with the response settings:
    // no validation, external definitions never read, internal entities
    // expanded, every white-space-only text node dropped. Throws EDOMParseError.
    static XmlDocument parse(ByteStream& source);

    XmlDocument(XmlDocument&&) noexcept = default;
    XmlDocument& operator=(XmlDocument&&) noexcept = default;

    xmlDocPtr get() const noexcept { return doc_.get(); }
    // The last element child of the document node; nullptr when there is none.
    xmlNodePtr documentElement() const noexcept;

    // Unlinks the node from its parent and keeps it until the document goes.
    void removeNode(xmlNodePtr node);
    // Keeps a namespace declaration taken off an element until the document goes.
    void keepNamespace(xmlNsPtr ns);

private:
    explicit XmlDocument(xmlDocPtr doc) : doc_(doc) {}

    // Declared first, destroyed last: detached nodes use the document's dictionary.
    std::unique_ptr<xmlDoc, XmlDocDeleter> doc_;
    std::vector<std::unique_ptr<xmlNode, XmlNodeDeleter>> removed_;
    std::vector<std::unique_ptr<xmlNs, XmlNsDeleter>> removedNamespaces_;
};

} // namespace cto

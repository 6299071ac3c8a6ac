#pragma once

#include "response/XmlDocument.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace cto {

// Declares the binding's target namespace as the element's default namespace,
// replacing a default declaration it already has.
void declareTargetNamespace(xmlNodePtr element);

// libxml2 2.9 writes a namespace declaration's URI between quotes as it is,
// so a URI holding "&" or "<" would not read back: gives it its escaped form
// in place, for nodes that are written once and thrown away.
void escapeForMarkup(xmlNsPtr ns);

// Shapes the elements of one element's subtree, each as it is reached in
// document order, so that the element's markup stands on its own:
// - prefixes declared on ancestors outside the element and used inside it are
//   declared again on the element;
// - unprefixed descendants whose default namespace came from outside, and the
//   element itself, take the element's own default namespace;
// - default-namespace undeclarations (xmlns="") inside the element are taken
//   off, so unprefixed descendants in no namespace fall into the nearest
//   default namespace above them when the markup is read again.
// Text is never touched. The nodes are changed for good.
class NamespaceScope {
public:
    // The element must have its own default namespace declaration already;
    // its ancestors must not change while the scope is in use.
    explicit NamespaceScope(xmlNodePtr root);

    // Shapes one element of the subtree (the root first). Undeclarations taken
    // off it are handed to `removed`, since nodes may still point at them.
    void shape(xmlNodePtr element, std::vector<std::unique_ptr<xmlNs, XmlNsDeleter>>& removed);

private:
    xmlNsPtr fixed(xmlNsPtr ns, bool isElement);
    void declareTypePrefix(xmlNodePtr element, xmlAttrPtr attribute);

    xmlNodePtr root_;
    xmlNsPtr defaultNs_;
    std::set<xmlNsPtr> outside_;
    std::map<std::string, xmlNsPtr> redeclared_;
};

} // namespace cto

#pragma once

#include <libxml/tree.h>

#include <string>
#include <string_view>

// The few DOM reads and writes the response document needs, over libxml2 nodes
// owned by an XmlDocument.
namespace cto::xml {

std::string_view text(const xmlChar* value) noexcept;

// The DOM node name: the qualified name of an element, the target of a
// processing instruction, the name of a document type or entity declaration,
// "#text", "#comment"... for the rest.
std::string nodeName(xmlNodePtr node);
std::string_view localName(xmlNodePtr node) noexcept;
std::string_view prefix(xmlNodePtr node) noexcept;
std::string_view namespaceUri(xmlNodePtr node) noexcept;
bool isElement(xmlNodePtr node) noexcept;

// Namespace URIs compare without regard to ASCII letter case.
bool sameNamespace(std::string_view a, std::string_view b) noexcept;

// The first node of root's subtree, root included, in document order, that
// `wanted` accepts; the subtree of an accepted node is not searched further.
// Walks without recursion, into the children of the document, of elements and
// of the document type only.
template <typename Wanted> xmlNodePtr findInSubtree(xmlNodePtr root, Wanted wanted) {
    xmlNodePtr node = root;
    while (node != nullptr) {
        if (wanted(node))
            return node;
        const bool descend =
            node->type == XML_DOCUMENT_NODE || node->type == XML_ELEMENT_NODE || node->type == XML_DTD_NODE;
        if (descend && node->children != nullptr) {
            node = node->children;
            continue;
        }
        while (node != root && node->next == nullptr)
            node = node->parent;
        node = node == root ? nullptr : node->next;
    }
    return nullptr;
}

// A new element in parent's namespace (with parent's prefix) appended as its
// last child, or placed before `before` when given.
xmlNodePtr addElement(xmlNodePtr parent, std::string_view name, xmlNodePtr before = nullptr);
// A new text node appended to the element.
xmlNodePtr addText(xmlNodePtr parent, std::string_view value);
void setContent(xmlNodePtr textNode, std::string_view value);

} // namespace cto::xml

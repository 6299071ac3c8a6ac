#include "response/XmlNode.h"

#include <libxml/entities.h>

#include <new>
#include <string>

namespace cto::xml {

namespace {

const xmlChar* chars(const std::string& value) {
    return reinterpret_cast<const xmlChar*>(value.c_str());
}

char lowerAscii(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string_view text(const xmlChar* value) noexcept {
    return value != nullptr ? std::string_view(reinterpret_cast<const char*>(value)) : std::string_view();
}

std::string nodeName(xmlNodePtr node) {
    switch (node->type) {
    case XML_ELEMENT_NODE: {
        const std::string_view ownPrefix = prefix(node);
        std::string name(ownPrefix);
        if (!name.empty())
            name += ':';
        name += text(node->name);
        return name;
    }
    case XML_ENTITY_DECL: {
        // Parameter entities belong to the declarations, not to the document's nodes.
        const auto type = reinterpret_cast<xmlEntityPtr>(node)->etype;
        if (type == XML_INTERNAL_PARAMETER_ENTITY || type == XML_EXTERNAL_PARAMETER_ENTITY)
            return "#parameter-entity";
        return std::string(text(node->name));
    }
    case XML_PI_NODE:
    case XML_DTD_NODE:
    case XML_ENTITY_REF_NODE:
        return std::string(text(node->name));
    case XML_TEXT_NODE:
        return "#text";
    case XML_CDATA_SECTION_NODE:
        return "#cdata-section";
    case XML_COMMENT_NODE:
        return "#comment";
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
        return "#document";
    default:
        return "#other";
    }
}

std::string_view localName(xmlNodePtr node) noexcept {
    return text(node->name);
}

std::string_view prefix(xmlNodePtr node) noexcept {
    return (node->type == XML_ELEMENT_NODE && node->ns != nullptr) ? text(node->ns->prefix)
                                                                   : std::string_view();
}

std::string_view namespaceUri(xmlNodePtr node) noexcept {
    return (node->type == XML_ELEMENT_NODE && node->ns != nullptr) ? text(node->ns->href)
                                                                   : std::string_view();
}

bool isElement(xmlNodePtr node) noexcept {
    return node != nullptr && node->type == XML_ELEMENT_NODE;
}

bool sameNamespace(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    return true;
}

xmlNodePtr addElement(xmlNodePtr parent, std::string_view name, xmlNodePtr before) {
    // The parent's own namespace object carries both its prefix and its URI.
    xmlNodePtr element = xmlNewDocNode(parent->doc, parent->ns, chars(std::string(name)), nullptr);
    if (element == nullptr)
        throw std::bad_alloc();
    if (before != nullptr)
        xmlAddPrevSibling(before, element);
    else
        xmlAddChild(parent, element);
    return element;
}

xmlNodePtr addText(xmlNodePtr parent, std::string_view value) {
    xmlNodePtr node = xmlNewDocTextLen(parent->doc, reinterpret_cast<const xmlChar*>(value.data()),
                                       static_cast<int>(value.size()));
    if (node == nullptr)
        throw std::bad_alloc();
    xmlAddChild(parent, node);
    return node;
}

void setContent(xmlNodePtr textNode, std::string_view value) {
    // On a text node libxml2 stores the value as it is, with no entity parsing.
    xmlNodeSetContentLen(textNode, reinterpret_cast<const xmlChar*>(value.data()),
                         static_cast<int>(value.size()));
}

} // namespace cto::xml

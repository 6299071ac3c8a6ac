#include "response/NamespaceScope.h"

#include "response/RespuestaSolicitud.h"
#include "response/XmlNode.h"

#include <new>

namespace cto {

namespace {

constexpr std::string_view kSchemaInstance = "http://www.w3.org/2001/XMLSchema-instance";

bool isUndeclaration(xmlNsPtr ns) noexcept {
    return ns->prefix == nullptr && xml::text(ns->href).empty();
}

xmlNsPtr defaultDeclaration(xmlNodePtr element) {
    for (xmlNsPtr ns = element->nsDef; ns != nullptr; ns = ns->next)
        if (ns->prefix == nullptr)
            return ns;
    return nullptr;
}

} // namespace

void escapeForMarkup(xmlNsPtr ns) {
    const std::string_view href = xml::text(ns->href);
    if (href.find_first_of("&<") == std::string_view::npos)
        return;
    std::string escaped;
    for (const char c : href) {
        if (c == '&')
            escaped += "&amp;";
        else if (c == '<')
            escaped += "&lt;";
        else
            escaped += c;
    }
    xmlChar* copy = xmlStrdup(reinterpret_cast<const xmlChar*>(escaped.c_str()));
    if (copy == nullptr)
        throw std::bad_alloc();
    xmlFree(const_cast<xmlChar*>(ns->href));
    ns->href = copy;
}

void declareTargetNamespace(xmlNodePtr element) {
    const auto* target = reinterpret_cast<const xmlChar*>(kRespuestaNamespace);
    for (xmlNsPtr ns = element->nsDef; ns != nullptr; ns = ns->next) {
        if (ns->prefix == nullptr) {
            xmlFree(const_cast<xmlChar*>(ns->href));
            ns->href = xmlStrdup(target);
            if (ns->href == nullptr)
                throw std::bad_alloc();
            return;
        }
    }
    if (xmlNewNs(element, target, nullptr) == nullptr)
        throw std::bad_alloc();
}

NamespaceScope::NamespaceScope(xmlNodePtr root) : root_(root), defaultNs_(defaultDeclaration(root)) {
    // A node points only at declarations on itself or its ancestors: those
    // above the root are the ones to declare again.
    for (xmlNodePtr above = root->parent; above != nullptr && above->type == XML_ELEMENT_NODE;
         above = above->parent)
        for (xmlNsPtr ns = above->nsDef; ns != nullptr; ns = ns->next)
            outside_.insert(ns);
}

void NamespaceScope::shape(xmlNodePtr element, std::vector<std::unique_ptr<xmlNs, XmlNsDeleter>>& removed) {
    if (element != root_) {
        for (xmlNsPtr* link = &element->nsDef; *link != nullptr;) {
            xmlNsPtr ns = *link;
            if (isUndeclaration(ns)) {
                removed.reserve(removed.size() + 1);
                *link = ns->next;
                ns->next = nullptr;
                removed.emplace_back(ns);
            } else {
                link = &ns->next;
            }
        }
    }
    for (xmlNsPtr ns = element->nsDef; ns != nullptr; ns = ns->next)
        escapeForMarkup(ns);
    element->ns = fixed(element->ns, true);
    for (xmlAttrPtr attribute = element->properties; attribute != nullptr; attribute = attribute->next) {
        attribute->ns = fixed(attribute->ns, false);
        declareTypePrefix(element, attribute);
    }
}

// SOAP-encoded answers name types as qualified names in xsi:type values
// ("xsd:string"); their prefixes must stay declared too.
void NamespaceScope::declareTypePrefix(xmlNodePtr element, xmlAttrPtr attribute) {
    if (attribute->ns == nullptr || xml::text(attribute->ns->href) != kSchemaInstance ||
        xml::text(attribute->name) != "type" || attribute->children == nullptr ||
        attribute->children->type != XML_TEXT_NODE)
        return;
    const std::string_view value = xml::text(attribute->children->content);
    const std::size_t colon = value.find(':');
    if (colon == std::string_view::npos)
        return;
    const std::string prefix(value.substr(0, colon));
    fixed(xmlSearchNs(element->doc, element, reinterpret_cast<const xmlChar*>(prefix.c_str())), false);
}

xmlNsPtr NamespaceScope::fixed(xmlNsPtr ns, bool isElement) {
    if (ns == nullptr || outside_.count(ns) == 0 || xml::text(ns->href).empty())
        return ns;
    if (ns->prefix == nullptr)
        return isElement && defaultNs_ != nullptr ? defaultNs_ : ns;
    const std::string prefix(xml::text(ns->prefix));
    if (prefix == "xml")
        return ns;
    auto [entry, added] = redeclared_.try_emplace(prefix, nullptr);
    if (added) {
        // No element between root and a use of an outside prefix declares it,
        // so one declaration on the root serves every such use.
        entry->second = xmlNewNs(root_, ns->href, ns->prefix);
        if (entry->second == nullptr)
            throw std::bad_alloc();
        escapeForMarkup(entry->second);
    }
    return entry->second;
}

} // namespace cto

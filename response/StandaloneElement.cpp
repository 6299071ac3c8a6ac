#include "response/StandaloneElement.h"

#include "common/FailureKinds.h"
#include "response/XmlNode.h"

#include <libxml/xmlsave.h>

#include <map>
#include <new>
#include <set>

namespace cto {

namespace {

struct OutputBufferDeleter {
    void operator()(xmlOutputBufferPtr buffer) const noexcept { xmlOutputBufferClose(buffer); }
};

constexpr std::string_view kSchemaInstance = "http://www.w3.org/2001/XMLSchema-instance";

bool isUndeclaration(xmlNsPtr ns) noexcept {
    return ns->prefix == nullptr && xml::text(ns->href).empty();
}

// libxml2 2.9 writes a namespace declaration's URI between quotes as it is, so
// a URI holding "&" (which its URI check lets through) would not read back.
// The document is thrown away after writing, so its URIs can take their
// escaped form in place.
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

template <typename Visit> void forEachElement(xmlNodePtr root, Visit visit) {
    xml::findInSubtree(root, [&](xmlNodePtr node) {
        if (node->type == XML_ELEMENT_NODE)
            visit(node);
        return false;
    });
}

void dropUndeclarations(XmlDocument& document, xmlNodePtr element) {
    for (xmlNsPtr* link = &element->nsDef; *link != nullptr;) {
        xmlNsPtr ns = *link;
        if (isUndeclaration(ns)) {
            *link = ns->next;
            ns->next = nullptr;
            document.keepNamespace(ns);
        } else {
            link = &ns->next;
        }
    }
}

xmlNsPtr defaultDeclaration(xmlNodePtr element) {
    for (xmlNsPtr ns = element->nsDef; ns != nullptr; ns = ns->next)
        if (ns->prefix == nullptr)
            return ns;
    return nullptr;
}

class NamespaceFixer {
public:
    NamespaceFixer(XmlDocument& document, xmlNodePtr root)
        : document_(document), root_(root), defaultNs_(defaultDeclaration(root)) {}

    // One walk in document order: a namespace used by a node is declared on the
    // node or an ancestor, so it is known as "inside" before the node is fixed.
    void run() {
        forEachElement(root_, [&](xmlNodePtr element) {
            if (element != root_)
                dropUndeclarations(document_, element);
            for (xmlNsPtr ns = element->nsDef; ns != nullptr; ns = ns->next) {
                inside_.insert(ns);
                escapeForMarkup(ns);
            }
            element->ns = fixed(element->ns, true);
            for (xmlAttrPtr attribute = element->properties; attribute != nullptr;
                 attribute = attribute->next) {
                attribute->ns = fixed(attribute->ns, false);
                declareTypePrefix(element, attribute);
            }
        });
    }

private:
    // SOAP-encoded answers name types as qualified names in xsi:type values
    // ("xsd:string"); their prefixes must stay declared too.
    void declareTypePrefix(xmlNodePtr element, xmlAttrPtr attribute) {
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

    xmlNsPtr fixed(xmlNsPtr ns, bool isElement) {
        if (ns == nullptr || inside_.count(ns) != 0 || xml::text(ns->href).empty())
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
            inside_.insert(entry->second);
            escapeForMarkup(entry->second);
        }
        return entry->second;
    }

    XmlDocument& document_;
    xmlNodePtr root_;
    xmlNsPtr defaultNs_;
    std::set<xmlNsPtr> inside_;
    std::map<std::string, xmlNsPtr> redeclared_;
};

int appendToString(void* target, const char* bytes, int length) {
    static_cast<std::string*>(target)->append(bytes, static_cast<std::size_t>(length));
    return length;
}

} // namespace

std::string writeStandaloneElement(XmlDocument& document, xmlNodePtr element, std::size_t expectedSize) {
    NamespaceFixer(document, element).run();

    std::string markup;
    markup.reserve(expectedSize);
    {
        std::unique_ptr<xmlOutputBuffer, OutputBufferDeleter> output(
            xmlOutputBufferCreateIO(appendToString, nullptr, &markup, nullptr));
        if (!output)
            throw std::bad_alloc();
        xmlNodeDumpOutput(output.get(), document.get(), element, 0, 0, "UTF-8");
        if (xmlOutputBufferFlush(output.get()) < 0 || output->error != 0)
            throw EXMLDocError("The element could not be written out");
    }
    return markup;
}

} // namespace cto

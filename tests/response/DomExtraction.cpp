// The answer's element cut out of a whole parsed tree, as the program did
// before it read answers in one pass: kept as the reference that the one-pass
// reader must match byte for byte and failure for failure.
#include "response/DomExtraction.h"

#include "common/FailureKinds.h"
#include "response/NamespaceScope.h"
#include "response/RespuestaSolicitud.h"
#include "response/SoapFault.h"
#include "response/XmlDocument.h"
#include "response/XmlNode.h"

#include <libxml/xmlsave.h>

#include <map>
#include <new>
#include <set>

namespace cto::dom {

static xmlNodePtr buscarNodoRespuesta(xmlNodePtr node) {
    // Only the whole node name counts, whatever the node's type.
    xmlNodePtr found = xml::findInSubtree(
        node, [](xmlNodePtr n) { return xml::nodeName(n) == "RespuestaSolicitudEncuesta"; });
    if (found == nullptr)
        return nullptr;
    if (!xml::isElement(found))
        throw EXMLDocError("Attributes are not supported on this node type");
    declareTargetNamespace(found);
    return found;
}

namespace {

struct OutputBufferDeleter {
    void operator()(xmlOutputBufferPtr buffer) const noexcept { xmlOutputBufferClose(buffer); }
};

constexpr std::string_view kSchemaInstance = "http://www.w3.org/2001/XMLSchema-instance";

bool isUndeclaration(xmlNsPtr ns) noexcept {
    return ns->prefix == nullptr && xml::text(ns->href).empty();
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

static std::string writeStandaloneElement(XmlDocument& document, xmlNodePtr element,
                                          std::size_t expectedSize) {
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

namespace {

[[noreturn]] void reportMissingElement(const XmlDocument& document) {
    std::string message = "La respuesta del servicio no contiene el elemento RespuestaSolicitudEncuesta";
    if (const auto fault = soapFaultString(document.get()))
        message += ". El servicio ha devuelto un fallo SOAP: \"" + *fault + "\"";
    throw EXMLDocError(message);
}

std::string extract(ByteStream& source) {
    // The working document lives only inside this call: it is gone before the
    // caller loads the binding's own document.
    XmlDocument document = XmlDocument::parse(source);
    xmlNodePtr element = buscarNodoRespuesta(reinterpret_cast<xmlNodePtr>(document.get()));
    if (element == nullptr)
        reportMissingElement(document);
    return writeStandaloneElement(document, element, static_cast<std::size_t>(source.size()));
}

} // namespace

std::string extraerRespuestaDeMemoria(std::string_view responseBytes) {
    MemoryStream memory{std::string(responseBytes)};
    return extract(memory);
}

} // namespace cto::dom

#include "response/ResponseSearch.h"

#include "common/FailureKinds.h"
#include "response/RespuestaSolicitud.h"
#include "response/XmlNode.h"

namespace cto {

namespace {

// Declares the target namespace as the element's default namespace, replacing
// a default declaration it already has.
void declareTargetNamespace(xmlNodePtr element) {
    const auto* target = reinterpret_cast<const xmlChar*>(kRespuestaNamespace);
    for (xmlNsPtr ns = element->nsDef; ns != nullptr; ns = ns->next) {
        if (ns->prefix == nullptr) {
            xmlFree(const_cast<xmlChar*>(ns->href));
            ns->href = xmlStrdup(target);
            return;
        }
    }
    if (xmlNewNs(element, target, nullptr) == nullptr)
        throw std::bad_alloc();
}

} // namespace

xmlNodePtr buscarNodoRespuesta(xmlNodePtr node) {
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

} // namespace cto

#include "response/SoapFault.h"

#include "common/Trim.h"
#include "response/XmlNode.h"

#include <memory>
#include <string_view>

namespace cto {

namespace {

constexpr std::string_view kSoap11 = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr std::string_view kSoap12 = "http://www.w3.org/2003/05/soap-envelope";

struct XmlCharDeleter {
    void operator()(xmlChar* value) const noexcept { xmlFree(value); }
};

xmlNodePtr childElement(xmlNodePtr parent, std::string_view localName) {
    for (xmlNodePtr child = parent->children; child != nullptr; child = child->next)
        if (xml::isElement(child) && xml::localName(child) == localName)
            return child;
    return nullptr;
}

std::string textContent(xmlNodePtr node) {
    std::unique_ptr<xmlChar, XmlCharDeleter> content(xmlNodeGetContent(node));
    return std::string(trimmed(xml::text(content.get()), " \t\r\n"));
}

} // namespace

bool isSoapFault(xmlNodePtr node) {
    const std::string_view ns = xml::namespaceUri(node);
    return xml::isElement(node) && xml::localName(node) == "Fault" && (ns == kSoap11 || ns == kSoap12);
}

bool tellsFaultString(xmlNodePtr child) {
    return xml::isElement(child) &&
           (xml::localName(child) == "faultstring" || xml::localName(child) == "Reason");
}

std::optional<std::string> soapFaultString(xmlDocPtr document) {
    xmlNodePtr fault = xml::findInSubtree(reinterpret_cast<xmlNodePtr>(document), isSoapFault);
    if (fault == nullptr)
        return std::nullopt;
    return faultStringOf(fault);
}

std::string faultStringOf(xmlNodePtr fault) {
    if (xmlNodePtr faultString = childElement(fault, "faultstring"))
        return textContent(faultString);
    if (xmlNodePtr reason = childElement(fault, "Reason")) {
        xmlNodePtr text = childElement(reason, "Text");
        return textContent(text != nullptr ? text : reason);
    }
    return std::string();
}

} // namespace cto

#include "response/XmlDocument.h"

#include "response/ResponseParser.h"

namespace cto {

XmlDocument XmlDocument::parse(ByteStream& source) {
    return XmlDocument(parseResponse(source).release());
}

xmlNodePtr XmlDocument::documentElement() const noexcept {
    xmlNodePtr last = nullptr;
    for (xmlNodePtr child = doc_->children; child != nullptr; child = child->next)
        if (child->type == XML_ELEMENT_NODE)
            last = child;
    return last;
}

void XmlDocument::removeNode(xmlNodePtr node) {
    removed_.reserve(removed_.size() + 1);
    xmlUnlinkNode(node);
    removed_.emplace_back(node);
}

void XmlDocument::keepNamespace(xmlNsPtr ns) {
    removedNamespaces_.reserve(removedNamespaces_.size() + 1);
    removedNamespaces_.emplace_back(ns);
}

} // namespace cto

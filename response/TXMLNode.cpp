#include "response/TXMLNode.h"

#include "common/FailureKinds.h"
#include "response/XmlNode.h"

#include <utility>

namespace cto {

ElementNames namesOf(xmlNodePtr element) {
    return {xml::nodeName(element), xml::localName(element), xml::namespaceUri(element)};
}

bool matchesRegistration(const ElementNames& element, std::string_view tag, std::string_view namespaceUri) {
    if (!namespaceUri.empty() && !xml::sameNamespace(element.namespaceUri, namespaceUri))
        return false;
    return element.qualified == tag || element.local == tag;
}

bool matchesRegistration(xmlNodePtr element, std::string_view tag, std::string_view namespaceUri) {
    return xml::isElement(element) && matchesRegistration(namesOf(element), tag, namespaceUri);
}

bool isCollectionItem(const ElementNames& child, std::string_view itemTag, std::string_view itemNamespace) {
    if (child.qualified == itemTag)
        return true;
    const bool prefixed =
        child.qualified.find(':') != std::string::npos || itemTag.find(':') != std::string_view::npos;
    if (!prefixed)
        return false;
    const std::string_view tagLocal = itemTag.substr(itemTag.find(':') + 1);
    return child.local == tagLocal && xml::sameNamespace(child.namespaceUri, itemNamespace);
}

std::string notSingleTextMessage(const std::string& qualifiedName) {
    return "Element \"" + qualifiedName + "\" does not contain a single text node";
}

void raiseNotSingleText(const std::string& qualifiedName) {
    throw EXMLDocError(notSingleTextMessage(qualifiedName));
}

TXMLNode::TXMLNode(std::shared_ptr<XmlDocument> document, xmlNodePtr element)
    : document_(std::move(document)), element_(element) {}

std::string TXMLNode::NodeName() const {
    return xml::nodeName(element_);
}
std::string TXMLNode::LocalName() const {
    return std::string(xml::localName(element_));
}
std::string TXMLNode::NamespaceURI() const {
    return std::string(xml::namespaceUri(element_));
}

xmlNodePtr TXMLNode::childNode(std::string_view name) {
    const std::string_view ownNamespace = xml::namespaceUri(element_);
    for (xmlNodePtr child = element_->children; child != nullptr; child = child->next)
        if (matchesRegistration(child, name, ownNamespace))
            return child;
    return xml::addElement(element_, name);
}

xmlNodePtr TXMLNode::singleTextNode(std::string_view name) {
    xmlNodePtr field = childNode(name);
    if (field->children == nullptr)
        return xml::addText(field, "");
    xmlNodePtr only = field->children;
    if (only->next == nullptr && (only->type == XML_TEXT_NODE || only->type == XML_CDATA_SECTION_NODE))
        return only;
    raiseNotSingleText(xml::nodeName(field));
}

std::string TXMLNode::childText(std::string_view name) {
    return std::string(xml::text(singleTextNode(name)->content));
}

void TXMLNode::setChildText(std::string_view name, std::string_view value) {
    xml::setContent(singleTextNode(name), value);
}

TXMLNodeCollection::TXMLNodeCollection(std::shared_ptr<XmlDocument> document, xmlNodePtr parent,
                                       std::string itemTag, std::string itemNamespace,
                                       std::function<bool(xmlNodePtr)> isItemClass)
    : document_(std::move(document)), parent_(parent), itemTag_(std::move(itemTag)),
      itemNamespace_(std::move(itemNamespace)), isItemClass_(std::move(isItemClass)) {}

bool TXMLNodeCollection::isItem(xmlNodePtr child) const {
    return xml::isElement(child) && isItemClass_(child) &&
           isCollectionItem(namesOf(child), itemTag_, itemNamespace_);
}

std::vector<xmlNodePtr> TXMLNodeCollection::items() const {
    std::vector<xmlNodePtr> found;
    for (xmlNodePtr child = parent_->children; child != nullptr; child = child->next)
        if (isItem(child))
            found.push_back(child);
    return found;
}

int TXMLNodeCollection::count() const {
    int n = 0;
    for (xmlNodePtr child = parent_->children; child != nullptr; child = child->next)
        if (isItem(child))
            ++n;
    return n;
}

namespace {
[[noreturn]] void outOfBounds(int index) {
    throw EXMLDocError("List index out of bounds (" + std::to_string(index) + ")");
}
} // namespace

xmlNodePtr TXMLNodeCollection::itemNode(int index) const {
    int i = 0;
    for (xmlNodePtr child = parent_->children; child != nullptr && index >= 0; child = child->next)
        if (isItem(child) && i++ == index)
            return child;
    outOfBounds(index);
}

void TXMLNodeCollection::clear() {
    for (xmlNodePtr item : items())
        document_->removeNode(item);
}

void TXMLNodeCollection::deleteItem(int index) {
    document_->removeNode(itemNode(index));
}

int TXMLNodeCollection::removeItem(xmlNodePtr node) {
    const std::vector<xmlNodePtr> all = items();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i] == node) {
            document_->removeNode(node);
            return static_cast<int>(i);
        }
    }
    return -1;
}

xmlNodePtr TXMLNodeCollection::addItem() {
    return xml::addElement(parent_, itemTag_);
}

xmlNodePtr TXMLNodeCollection::insertItem(int index) {
    // The position counts all children of the parent, items or not.
    xmlNodePtr before = parent_->children;
    int position = 0;
    for (; position < index && before != nullptr; ++position)
        before = before->next;
    if (index < 0 || position < index)
        outOfBounds(index);
    return xml::addElement(parent_, itemTag_, before);
}

} // namespace cto

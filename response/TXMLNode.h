#pragma once

#include "response/RespuestaSolicitud.h"
#include "response/XmlDocument.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cto {

// An element matches a registration (tag, namespace) when the namespace is
// empty or equals the element's without regard to ASCII case, and the
// element's qualified or local name is the tag.
bool matchesRegistration(xmlNodePtr element, std::string_view tag, std::string_view namespaceUri);

// An element's names as the binding compares them.
struct ElementNames {
    std::string qualified;
    std::string_view local;
    std::string_view namespaceUri;
};
ElementNames namesOf(xmlNodePtr element);
bool matchesRegistration(const ElementNames& element, std::string_view tag, std::string_view namespaceUri);
// Whether a child element that received the items' view class is an item of
// a collection of `itemTag` elements in `itemNamespace`.
bool isCollectionItem(const ElementNames& child, std::string_view itemTag, std::string_view itemNamespace);
// The failure of a field element that holds more than one node, or another
// kind: its message, and the failure raised.
std::string notSingleTextMessage(const std::string& qualifiedName);
[[noreturn]] void raiseNotSingleText(const std::string& qualifiedName);

// The generic element view: a shared handle on one element of a loaded
// document, which it keeps alive.
class TXMLNode : public virtual IXMLNode {
public:
    TXMLNode(std::shared_ptr<XmlDocument> document, xmlNodePtr element);

    std::string NodeName() const override;
    std::string LocalName() const override;
    std::string NamespaceURI() const override;

    xmlNodePtr element() const noexcept { return element_; }
    const std::shared_ptr<XmlDocument>& document() const noexcept { return document_; }

protected:
    // The first child element in this element's namespace (any, when it has
    // none) whose qualified or local name is `name`; made and appended when
    // there is none, in this element's namespace and with its prefix.
    xmlNodePtr childNode(std::string_view name);
    // The value of the named child's single text or CDATA node; an empty text
    // node is added to a child that has no node. Throws EXMLDocError otherwise.
    std::string childText(std::string_view name);
    void setChildText(std::string_view name, std::string_view value);

private:
    xmlNodePtr singleTextNode(std::string_view name);

    std::shared_ptr<XmlDocument> document_;
    xmlNodePtr element_;
};

// The generic child collection: a live, filtered view over the children of
// one element that are its items.
class TXMLNodeCollection {
public:
    // isItemClass tells whether a child received the items' view class.
    TXMLNodeCollection(std::shared_ptr<XmlDocument> document, xmlNodePtr parent, std::string itemTag,
                       std::string itemNamespace, std::function<bool(xmlNodePtr)> isItemClass);
    virtual ~TXMLNodeCollection() = default;

protected:
    int count() const;
    xmlNodePtr itemNode(int index) const;
    void clear();
    void deleteItem(int index);
    int removeItem(xmlNodePtr node);
    xmlNodePtr addItem();
    xmlNodePtr insertItem(int index);

    const std::shared_ptr<XmlDocument>& document() const noexcept { return document_; }

private:
    bool isItem(xmlNodePtr child) const;
    std::vector<xmlNodePtr> items() const;

    std::shared_ptr<XmlDocument> document_;
    xmlNodePtr parent_;
    std::string itemTag_;
    std::string itemNamespace_;
    std::function<bool(xmlNodePtr)> isItemClass_;
};

} // namespace cto

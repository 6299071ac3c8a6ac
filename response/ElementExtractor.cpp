#include "response/ElementExtractor.h"

#include "common/FailureKinds.h"
#include "response/RespuestaSolicitudBinding.h"
#include "response/SoapFault.h"
#include "response/XmlNode.h"

#include <algorithm>
#include <new>

namespace cto {

struct ElementExtractor::Open {
    explicit Open(xmlNodePtr element) : node(element) {}

    xmlNodePtr node;

    // Outside the element sought:
    bool fault = false;          // the answer's first SOAP fault
    bool keep = false;           // read by the fault's string: stays whole
    xmlNodePtr looked = nullptr; // the last child of a kept element looked at
    bool faultStringTaken = false;
    bool reasonTaken = false;

    // Inside it:
    Role role = Role::None;
    std::string startTag;
    bool wroteChild = false;
    std::string ns;        // its namespace as its markup reads back
    std::string defaultNs; // the default namespace its markup gives unprefixed children
    std::vector<std::unique_ptr<xmlNs, XmlNsDeleter>> removed;
    int children = 0;
    bool firstIsText = false;
    std::string firstText;
};

namespace {

bool isTargetNamed(xmlNodePtr node) {
    // Only the whole node name counts, whatever the node's type.
    return xml::nodeName(node) == kRespuestaTag;
}

void prune(xmlNodePtr node) noexcept {
    xmlUnlinkNode(node);
    xmlFreeNode(node);
}

bool isXmlSpace(xmlChar c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isWhiteSpaceText(xmlNodePtr node) noexcept {
    if (node->type != XML_TEXT_NODE)
        return false;
    for (const xmlChar* c = node->content; c != nullptr && *c != 0; ++c)
        if (!isXmlSpace(*c))
            return false;
    return true;
}

std::string endTag(xmlNodePtr element) {
    std::string tag = "</" + xml::nodeName(element);
    tag += '>';
    return tag;
}

constexpr std::array<const char*, 4> kRoleTags = {kNumeroOrdenTag, kCodigoControlTag, kAcuseEnvioTag,
                                                  kErroresTag};

} // namespace

ElementExtractor::ElementExtractor(ByteStream& spool) : writer_(spool) {}

ElementExtractor::~ElementExtractor() = default;

template <typename Step> void ElementExtractor::guarded(xmlParserCtxtPtr context, Step step) noexcept {
    if (failure_) {
        xmlStopParser(context);
        return;
    }
    try {
        step();
    } catch (...) {
        failure_ = std::current_exception();
        xmlStopParser(context);
    }
}

void ElementExtractor::elementStarted(xmlParserCtxtPtr context, xmlNodePtr element) noexcept {
    guarded(context, [&] {
        if (open_.empty() && element->doc != nullptr && element->doc->encoding == nullptr)
            takeDocumentEncoding(context, element->doc);
        started(element);
    });
}

// libxml2 names the document's encoding when the parse ends, from what its
// declaration or byte-order mark said; attribute values are written with
// character references until it is named. What is written as the parse goes
// must read as the whole document written at its end.
void ElementExtractor::takeDocumentEncoding(xmlParserCtxtPtr context, xmlDocPtr document) {
    const xmlChar* encoding = context->encoding;
    if (encoding == nullptr && context->inputNr > 0 && context->inputTab[0] != nullptr)
        encoding = context->inputTab[0]->encoding;
    if (encoding == nullptr)
        return;
    document->encoding = xmlStrdup(encoding);
    if (document->encoding == nullptr)
        throw std::bad_alloc();
}

void ElementExtractor::elementEnded(xmlParserCtxtPtr context, xmlNodePtr element) noexcept {
    guarded(context, [&] { ended(element); });
}

void ElementExtractor::contentAdded(xmlParserCtxtPtr context, xmlNodePtr parent) noexcept {
    guarded(context, [&] {
        if (parent != nullptr && follows(parent))
            settle(open_.back(), parent->last);
    });
}

void ElementExtractor::raiseOwnFailure() const {
    if (failure_)
        std::rethrow_exception(failure_);
}

// Events from the contents of entities, which libxml2 parses apart before
// copying them in, are not the document's: what they made is looked at once
// it is in the document.
bool ElementExtractor::follows(xmlNodePtr parent) const noexcept {
    if (open_.empty())
        return parent != nullptr && parent->type == XML_DOCUMENT_NODE;
    return parent == open_.back().node;
}

void ElementExtractor::started(xmlNodePtr element) {
    if (!follows(element->parent))
        return;
    if (open_.empty()) {
        // Before the document element: processing instructions, comments and
        // the document type with its declarations.
        if (phase_ == Phase::Searching)
            for (xmlNodePtr child = element->parent->children; child != element; child = child->next)
                if (xml::findInSubtree(child, isTargetNamed) != nullptr) {
                    phase_ = Phase::NotElement;
                    break;
                }
    } else {
        settle(open_.back(), element);
    }

    switch (phase_) {
    case Phase::Searching: {
        if (isTargetNamed(element)) {
            enterTarget(element);
            return;
        }
        Open record(element);
        if (!faultSeen_ && isSoapFault(element)) {
            faultSeen_ = true;
            record.fault = true;
        } else if (!open_.empty()) {
            Open& parent = open_.back();
            record.keep = parent.keep || (parent.fault && takenByFault(parent, element));
        }
        open_.push_back(std::move(record));
        return;
    }
    case Phase::Inside:
        enterInside(element);
        return;
    case Phase::Found:
    case Phase::NotElement:
        open_.emplace_back(element);
        return;
    }
}

void ElementExtractor::ended(xmlNodePtr element) {
    if (open_.empty() || open_.back().node != element)
        return;
    // Its white-space-only text is gone by now, the last child looked at
    // perhaps with it: what is left is looked at again, which finds nothing
    // it found before.
    open_.back().looked = nullptr;
    settle(open_.back(), nullptr);
    if (phase_ == Phase::Inside) {
        leaveInside();
        if (!open_.empty())
            settle(open_.back(), element);
        prune(element);
        return;
    }
    const Open record = std::move(open_.back());
    open_.pop_back();
    if (phase_ != Phase::Searching && !open_.empty()) {
        // A fault's string keeps its children while the search goes on; once
        // it is over they go before this one does. libxml2 would otherwise
        // add the text that follows to the text left last, as if it were
        // still growing.
        settle(open_.back(), element);
    }
    if (phase_ == Phase::Searching) {
        if (record.fault) {
            faultString_ = faultStringOf(element);
            keptByFault_.clear();
        }
        if (record.keep) {
            // Taken out with the fault.
            if (!open_.empty() && open_.back().fault)
                keptByFault_.push_back(element);
            return;
        }
    }
    prune(element);
}

// Looks at the parent's finished children, before `stop` (the child still
// open or still growing), in document order, and takes them out of the tree.
void ElementExtractor::settle(Open& parent, xmlNodePtr stop) {
    if (parent.keep && phase_ == Phase::Searching) {
        for (xmlNodePtr child = parent.looked != nullptr ? parent.looked->next : parent.node->children;
             child != nullptr && child != stop && phase_ == Phase::Searching; child = child->next) {
            lookForTarget(child);
            parent.looked = child;
        }
        return;
    }
    for (xmlNodePtr child = parent.node->children; child != nullptr && child != stop;) {
        xmlNodePtr next = child->next;
        complete(parent, child);
        child = next;
    }
}

void ElementExtractor::complete(Open& parent, xmlNodePtr child) {
    switch (phase_) {
    case Phase::Searching:
        if (std::find(keptByFault_.begin(), keptByFault_.end(), child) != keptByFault_.end())
            return;
        lookForTarget(child);
        if (phase_ == Phase::Searching) {
            if (!faultSeen_)
                if (xmlNodePtr fault = xml::findInSubtree(child, isSoapFault)) {
                    faultSeen_ = true;
                    faultString_ = faultStringOf(fault);
                }
            if (parent.fault && takenByFault(parent, child)) {
                keptByFault_.push_back(child);
                return;
            }
        }
        break;
    case Phase::Inside:
        output(parent, child);
        break;
    case Phase::Found:
    case Phase::NotElement:
        break;
    }
    prune(child);
}

void ElementExtractor::lookForTarget(xmlNodePtr node) {
    xmlNodePtr found = xml::findInSubtree(node, isTargetNamed);
    if (found == nullptr)
        return;
    if (!xml::isElement(found)) {
        phase_ = Phase::NotElement;
        return;
    }
    // Copied in whole from an entity: written at once.
    enterTarget(found);
    for (xmlNodePtr child = found->children; child != nullptr; child = child->next)
        output(open_.back(), child);
    leaveInside();
}

// The fault's string is read from its first faultstring or Reason child.
bool ElementExtractor::takenByFault(Open& fault, xmlNodePtr child) {
    if (!tellsFaultString(child))
        return false;
    bool& taken = xml::localName(child) == "faultstring" ? fault.faultStringTaken : fault.reasonTaken;
    if (taken)
        return false;
    taken = true;
    return true;
}

void ElementExtractor::enterTarget(xmlNodePtr element) {
    declareTargetNamespace(element);
    scope_.emplace(element);
    Open record(element);
    scope_->shape(element, record.removed);
    record.role = Role::Root;
    record.ns = kRespuestaNamespace;
    record.defaultNs = kRespuestaNamespace;
    open_.push_back(std::move(record));
    phase_ = Phase::Inside;
}

void ElementExtractor::enterInside(xmlNodePtr element) {
    Open& parent = open_.back();
    openForChild(parent);
    ++parent.children;

    Open record(element);
    scope_->shape(element, record.removed);
    record.startTag = writer_.startTag(element);
    // As the markup reads back: undeclarations are gone from it, so an element
    // in no namespace takes the nearest default declared above it.
    const xmlNsPtr ns = element->ns;
    const bool named = ns != nullptr && (ns->prefix != nullptr || !xml::text(ns->href).empty());
    record.ns = named ? std::string(xml::text(ns->href)) : parent.defaultNs;
    record.defaultNs = parent.defaultNs;
    for (xmlNsPtr declared = element->nsDef; declared != nullptr; declared = declared->next)
        if (declared->prefix == nullptr)
            record.defaultNs = xml::text(declared->href);

    const ElementNames names{xml::nodeName(element), xml::localName(element), record.ns};
    if (parent.role == Role::Root) {
        for (std::size_t i = 0; i < kRoleTags.size(); ++i)
            if (!roleTaken_[i] && matchesRegistration(names, kRoleTags[i], kRespuestaNamespace)) {
                roleTaken_[i] = true;
                record.role = static_cast<Role>(static_cast<int>(Role::NumeroOrden) + static_cast<int>(i));
                break;
            }
        if (record.role == Role::Errores)
            erroresNamespace_ = record.ns;
    } else if (parent.role == Role::Errores && isErrorItem(names, erroresNamespace_)) {
        ++summary_.errorCount;
    }
    open_.push_back(std::move(record));
}

void ElementExtractor::leaveInside() {
    Open record = std::move(open_.back());
    open_.pop_back();
    xmlNodePtr element = record.node;
    if (record.role == Role::Root) {
        rootStartTag_ = writer_.startTag(element);
        rootHasContent_ = record.wroteChild;
        phase_ = Phase::Found;
        return;
    }
    if (record.wroteChild) {
        writer_.write(endTag(element));
    } else {
        writer_.write(record.startTag);
        writer_.write("/>");
    }

    SummaryField* field = nullptr;
    switch (record.role) {
    case Role::NumeroOrden:
        field = &summary_.numeroOrden;
        break;
    case Role::CodigoControl:
        field = &summary_.codigoControl;
        break;
    case Role::AcuseEnvio:
        field = &summary_.acuseEnvio;
        break;
    default:
        break;
    }
    if (field == nullptr)
        return;
    if (record.children == 0)
        *field = SummaryField::text("");
    else if (record.children == 1 && record.firstIsText)
        *field = SummaryField::text(std::move(record.firstText));
    else
        *field = SummaryField::failure(notSingleTextMessage(xml::nodeName(element)));
}

void ElementExtractor::openForChild(Open& parent) {
    if (parent.wroteChild)
        return;
    parent.wroteChild = true;
    // The sought element's own tag is written last, before its content.
    if (parent.role != Role::Root) {
        writer_.write(parent.startTag);
        writer_.write(">");
    }
}

void ElementExtractor::output(Open& parent, xmlNodePtr child) {
    if (isWhiteSpaceText(child))
        return;
    if (child->type == XML_ELEMENT_NODE) {
        writeWhole(child);
        return;
    }
    openForChild(parent);
    if (++parent.children == 1 && (parent.role == Role::NumeroOrden || parent.role == Role::CodigoControl ||
                                   parent.role == Role::AcuseEnvio)) {
        parent.firstIsText = child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE;
        if (parent.firstIsText)
            parent.firstText = xml::text(child->content);
    }
    writer_.writeNode(child);
}

// An element copied in from an entity arrives finished: it is written as if
// its parts had arrived one by one.
void ElementExtractor::writeWhole(xmlNodePtr element) {
    enterInside(element);
    for (xmlNodePtr child = element->children; child != nullptr; child = child->next)
        output(open_.back(), child);
    leaveInside();
}

void ElementExtractor::finish(xmlDocPtr document) {
    if (phase_ == Phase::Searching) {
        // After the document element.
        for (xmlNodePtr child = document->children; child != nullptr; child = child->next)
            if (xml::findInSubtree(child, isTargetNamed) != nullptr) {
                phase_ = Phase::NotElement;
                break;
            }
    }
    switch (phase_) {
    case Phase::NotElement:
        throw EXMLDocError("Attributes are not supported on this node type");
    case Phase::Searching:
    case Phase::Inside: {
        std::string message = "La respuesta del servicio no contiene el elemento RespuestaSolicitudEncuesta";
        if (faultString_)
            message += ". El servicio ha devuelto un fallo SOAP: \"" + *faultString_ + "\"";
        throw EXMLDocError(message);
    }
    case Phase::Found:
        writer_.flush();
        return;
    }
}

} // namespace cto

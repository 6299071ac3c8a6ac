#include "response/XmlDocument.h"

#include "common/FailureKinds.h"
#include "common/Trim.h"
#include "response/ExternalEntityGuard.h"
#include "response/SourceLine.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <optional>
#include <string>

namespace cto {

namespace {

struct ParserContextDeleter {
    void operator()(xmlParserCtxtPtr context) const noexcept { xmlFreeParserCtxt(context); }
};

// What the parser said first: the report names the first fault, while
// libxml2's "last error" may be a follow-up of it.
struct FirstErrors {
    std::optional<std::pair<std::string, int>> fatal;
    std::optional<std::pair<std::string, int>> error;
    bool undeclaredEntity = false;
};

void recordError(void* userData, xmlErrorPtr error) {
    auto* context = static_cast<xmlParserCtxtPtr>(userData);
    auto* first = static_cast<FirstErrors*>(context->_private);
    if (first == nullptr || error == nullptr)
        return;
    // libxml2 only warns about an undeclared entity when the document has
    // external declarations that it did not read, and leaves a reference that
    // no later reader can resolve; since external declarations are never read
    // here, it is the same fault as in a document without them.
    const bool undeclared = error->code == XML_WAR_UNDECLARED_ENTITY;
    first->undeclaredEntity = first->undeclaredEntity || undeclared;
    if (error->level < XML_ERR_ERROR && !undeclared)
        return;
    std::string reason(trimRight(error->message != nullptr ? error->message : "", kLineEnds));
    auto& slot = error->level == XML_ERR_FATAL ? first->fatal : first->error;
    if (!slot)
        slot.emplace(std::move(reason), error->line);
}

int readSource(void* source, char* buffer, int length) {
    if (length <= 0)
        return 0;
    return static_cast<int>(static_cast<ByteStream*>(source)->read(buffer, static_cast<std::size_t>(length)));
}

int keepSourceOpen(void*) {
    return 0;
}

bool isXmlSpace(xmlChar c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isWhiteSpaceOnly(const xmlChar* content) noexcept {
    if (content == nullptr)
        return true;
    for (; *content != 0; ++content)
        if (!isXmlSpace(*content))
            return false;
    return true;
}

// libxml2's own blank removal guesses from the content model; the response
// settings drop every text node made of white space alone, wherever it stands.
// An element's children are final when it ends, and still in the cache, so
// they are looked at then; text copied in from an entity lands among the
// children of the element being parsed, so it is looked at too.
void dropWhiteSpaceChildren(xmlNodePtr parent) noexcept {
    for (xmlNodePtr child = parent->children; child != nullptr;) {
        xmlNodePtr next = child->next;
        if (child->type == XML_TEXT_NODE && isWhiteSpaceOnly(child->content)) {
            xmlUnlinkNode(child);
            xmlFreeNode(child);
        }
        child = next;
    }
}

void endElement(void* userData, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri) {
    auto* context = static_cast<xmlParserCtxtPtr>(userData);
    if (context->node != nullptr)
        dropWhiteSpaceChildren(context->node);
    xmlSAX2EndElementNs(userData, localName, prefix, uri);
}

// libxml2 reports a few faults (failed encoding conversions) outside any parser
// context, on stderr; the parser context reports the same fault to us.
class SilentGenericErrors {
public:
    SilentGenericErrors() : handler_(xmlGenericError), context_(xmlGenericErrorContext) {
        xmlSetGenericErrorFunc(nullptr, ignore);
    }
    ~SilentGenericErrors() { xmlSetGenericErrorFunc(context_, handler_); }
    SilentGenericErrors(const SilentGenericErrors&) = delete;
    SilentGenericErrors& operator=(const SilentGenericErrors&) = delete;

private:
    static void ignore(void*, const char*, ...) {}
    xmlGenericErrorFunc handler_;
    void* context_;
};

[[noreturn]] void rejectSource(ByteStream& source, const FirstErrors& errors) {
    const auto& first = errors.fatal ? errors.fatal : errors.error;
    const std::string reason = first ? first->first : std::string("The document could not be parsed");
    const int line = first ? first->second : 0;
    throw EDOMParseError(reason + "\r\n" + "Line" + ": " + std::to_string(line) + "\r\n" +
                         sourceLineStart(source, line, 40));
}

} // namespace

XmlDocument XmlDocument::parse(ByteStream& source) {
    ExternalEntityGuard noExternalReads;
    SilentGenericErrors quiet;
    std::unique_ptr<xmlParserCtxt, ParserContextDeleter> context(xmlNewParserCtxt());
    if (!context)
        throw EDOMParseError("out of memory");
    FirstErrors errors;
    context->_private = &errors;
    context->sax->serror = recordError;
    context->sax->endElementNs = endElement;

    // NOENT expands internal entities; the guard refuses every external one, and
    // without HUGE libxml2 keeps its limits on entity amplification and depth.
    // NOBLANKS spares building most white-space-only nodes (only runs that end
    // at markup and touch no text, so no text is cut); endElement removes the rest.
    constexpr int options = XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING |
                            XML_PARSE_COMPACT | XML_PARSE_NOBLANKS;
    source.seek(0);
    std::unique_ptr<xmlDoc, XmlDocDeleter> doc(
        xmlCtxtReadIO(context.get(), readSource, keepSourceOpen, &source, nullptr, nullptr, options));
    // A namespace fault (an undeclared prefix) leaves libxml2's document "well
    // formed"; a namespace-aware DOM rejects it.
    if (!doc || !context->nsWellFormed || errors.undeclaredEntity)
        rejectSource(source, errors);
    return XmlDocument(doc.release());
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

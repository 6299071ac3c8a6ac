#include "response/ResponseParser.h"

#include "common/FailureKinds.h"
#include "common/Trim.h"
#include "response/ExternalEntityGuard.h"
#include "response/SourceLine.h"

#include <libxml/SAX2.h>
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

// Reached through the parser context's private pointer, which libxml2 hands
// on to the contexts it makes for entity contents.
struct ParseState {
    FirstErrors errors;
    TreeObserver* observer = nullptr;
};

ParseState* stateOf(void* userData) noexcept {
    return static_cast<ParseState*>(static_cast<xmlParserCtxtPtr>(userData)->_private);
}

void recordError(void* userData, xmlErrorPtr error) {
    ParseState* state = stateOf(userData);
    if (state == nullptr || error == nullptr)
        return;
    FirstErrors& first = state->errors;
    // libxml2 only warns about an undeclared entity when the document has
    // external declarations that it did not read, and leaves a reference that
    // no later reader can resolve; since external declarations are never read
    // here, it is the same fault as in a document without them.
    const bool undeclared = error->code == XML_WAR_UNDECLARED_ENTITY;
    first.undeclaredEntity = first.undeclaredEntity || undeclared;
    if (error->level < XML_ERR_ERROR && !undeclared)
        return;
    std::string reason(trimRight(error->message != nullptr ? error->message : "", kLineEnds));
    auto& slot = error->level == XML_ERR_FATAL ? first.fatal : first.error;
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

void startElement(void* userData, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri,
                  int namespaceCount, const xmlChar** namespaces, int attributeCount, int defaultedCount,
                  const xmlChar** attributes) {
    auto* context = static_cast<xmlParserCtxtPtr>(userData);
    const xmlNodePtr before = context->node;
    xmlSAX2StartElementNs(userData, localName, prefix, uri, namespaceCount, namespaces, attributeCount,
                          defaultedCount, attributes);
    if (context->node != nullptr && context->node != before)
        stateOf(userData)->observer->elementStarted(context, context->node);
}

void endElement(void* userData, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri) {
    auto* context = static_cast<xmlParserCtxtPtr>(userData);
    xmlNodePtr element = context->node;
    if (element != nullptr)
        dropWhiteSpaceChildren(element);
    xmlSAX2EndElementNs(userData, localName, prefix, uri);
    TreeObserver* observer = stateOf(userData)->observer;
    if (observer != nullptr && element != nullptr)
        observer->elementEnded(context, element);
}

void notifyContent(void* userData) {
    auto* context = static_cast<xmlParserCtxtPtr>(userData);
    stateOf(userData)->observer->contentAdded(context, context->node);
}

void characters(void* userData, const xmlChar* text, int length) {
    xmlSAX2Characters(userData, text, length);
    notifyContent(userData);
}

void cdataBlock(void* userData, const xmlChar* text, int length) {
    xmlSAX2CDataBlock(userData, text, length);
    notifyContent(userData);
}

void comment(void* userData, const xmlChar* text) {
    xmlSAX2Comment(userData, text);
    notifyContent(userData);
}

void processingInstruction(void* userData, const xmlChar* target, const xmlChar* data) {
    xmlSAX2ProcessingInstruction(userData, target, data);
    notifyContent(userData);
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

std::unique_ptr<xmlDoc, XmlDocDeleter> parseResponse(ByteStream& source, TreeObserver* observer) {
    ExternalEntityGuard noExternalReads;
    SilentGenericErrors quiet;
    std::unique_ptr<xmlParserCtxt, ParserContextDeleter> context(xmlNewParserCtxt());
    if (!context)
        throw EDOMParseError("out of memory");
    ParseState state;
    state.observer = observer;
    context->_private = &state;
    context->sax->serror = recordError;
    context->sax->endElementNs = endElement;
    if (observer != nullptr) {
        context->sax->startElementNs = startElement;
        context->sax->characters = characters;
        context->sax->cdataBlock = cdataBlock;
        context->sax->comment = comment;
        context->sax->processingInstruction = processingInstruction;
    }

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
    if (!doc || !context->nsWellFormed || state.errors.undeclaredEntity)
        rejectSource(source, state.errors);
    return doc;
}

} // namespace cto

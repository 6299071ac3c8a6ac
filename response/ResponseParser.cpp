#include "response/ResponseParser.h"

#include "common/FailureKinds.h"
#include "response/ExternalEntityGuard.h"
#include "response/SourceLine.h"
#include "response/XmlErrorTexts.h"
#include "response/XmlNode.h"

#include <libxml/SAX2.h>
#include <libxml/xmlerror.h>

#include <exception>
#include <optional>
#include <string>

namespace cto {

namespace {

constexpr const char* kTextTooLong =
    "Un texto de la respuesta supera el límite de 10.000.000 bytes que admite el programa";

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
    xmlParserCtxtPtr document = nullptr;
    // Streaming only:
    ResponseEvents* events = nullptr;
    std::exception_ptr failure;
    std::size_t textLength = 0; // of the text being read
    std::size_t read = 0;       // bytes of the answer read so far
    std::size_t expanded = 0;   // bytes handed on from entities' contents
    bool refused = false;
    int depth = 0;
};

void stop(xmlParserCtxtPtr context, const ParseState& state) noexcept {
    xmlStopParser(context);
    xmlStopParser(state.document);
}

// Stops the parse with a fault of the answer, reported as the parser's own are.
void refuse(void* userData, ParseState& state, const char* reason, int line) {
    if (!state.errors.fatal)
        state.errors.fatal.emplace(reason, line);
    state.refused = true;
    stop(static_cast<xmlParserCtxtPtr>(userData), state);
}

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
    // libxml2 refuses a text over its bound as if memory had run out, then
    // stops with a fault that is not the reason.
    if (error->code == XML_ERR_NO_MEMORY && error->message != nullptr &&
        std::string_view(error->message).find("huge text node") != std::string_view::npos) {
        first.fatal.emplace(kTextTooLong, error->line);
        return;
    }
    if (error->level < XML_ERR_ERROR && !undeclared)
        return;
    std::string reason = xmlRefusalText(error->code, error->message != nullptr ? error->message : "");
    auto& slot = error->level == XML_ERR_FATAL ? first.fatal : first.error;
    if (!slot)
        slot.emplace(std::move(reason), error->line);
}

struct Source {
    ByteStream& stream;
    std::size_t& read;
};

int readSource(void* source, char* buffer, int length) {
    if (length <= 0)
        return 0;
    auto& from = *static_cast<Source*>(source);
    const std::size_t n = from.stream.read(buffer, static_cast<std::size_t>(length));
    from.read += n;
    return static_cast<int>(n);
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
// An element's children are final when it ends, so they are looked at then.
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

void endElementInTree(void* userData, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri) {
    auto* context = static_cast<xmlParserCtxtPtr>(userData);
    if (context->node != nullptr)
        dropWhiteSpaceChildren(context->node);
    xmlSAX2EndElementNs(userData, localName, prefix, uri);
}

std::string_view view(const xmlChar* text, int length) noexcept {
    return {reinterpret_cast<const char*>(text), static_cast<std::size_t>(length)};
}

// libxml2 bounds what entities amplify by the nodes it copies into a tree;
// without a tree it parses an entity's content again at each reference and
// hands it all on. The same bound: beyond libxml2's largest text and ten
// times what was read of the answer, the answer is refused as libxml2 would.
bool withinAmplification(void* userData, ParseState& state, std::size_t bytes) {
    if (userData == state.document)
        return true;
    state.expanded += bytes;
    if (state.expanded <= kMaxTextBytes || state.expanded <= 10 * state.read)
        return true;
    // Refused as libxml2 refuses an entity loop in a tree.
    refuse(userData, state, xmlRefusalText(XML_ERR_ENTITY_LOOP, "Detected an entity reference loop").c_str(),
           xmlSAX2GetLineNumber(state.document));
    return false;
}

// Hands one event of `bytes` on; a handler that throws stops the parse, the
// document's and the entity's being parsed, and nothing more is handed on.
template <typename Step> void deliver(void* userData, std::size_t bytes, Step step) noexcept {
    auto* context = static_cast<xmlParserCtxtPtr>(userData);
    ParseState& state = *stateOf(userData);
    if (state.failure || state.refused) {
        stop(context, state);
        return;
    }
    if (!withinAmplification(userData, state, bytes))
        return;
    try {
        step(state);
    } catch (...) {
        state.failure = std::current_exception();
        stop(context, state);
    }
}

void startElementEvent(void* userData, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri,
                       int namespaceCount, const xmlChar** namespaces, int attributeCount, int,
                       const xmlChar** attributes) {
    std::size_t bytes = xmlStrlen(localName) + 2;
    for (int i = 0; i < attributeCount; ++i)
        bytes += static_cast<std::size_t>(attributes[5 * i + 4] - attributes[5 * i + 3]);
    deliver(userData, bytes, [&](ParseState& state) {
        state.textLength = 0;
        if (state.depth++ == 0 && userData == state.document) {
            const xmlParserCtxtPtr context = state.document;
            const bool named = context->encoding != nullptr ||
                               (context->inputNr > 0 && context->inputTab[0]->encoding != nullptr);
            state.events->prologRead(context->myDoc, named);
        }
        state.events->elementStarted(
            {localName, prefix, uri, namespaceCount, namespaces, attributeCount, attributes});
    });
}

void endElementEvent(void* userData, const xmlChar*, const xmlChar*, const xmlChar*) {
    deliver(userData, 0, [](ParseState& state) {
        state.textLength = 0;
        --state.depth;
        state.events->elementEnded();
    });
}

void textEvent(void* userData, const xmlChar* text, int length) {
    deliver(userData, static_cast<std::size_t>(length), [&](ParseState& state) {
        state.textLength += static_cast<std::size_t>(length);
        if (state.textLength > kMaxTextBytes) {
            refuse(userData, state, kTextTooLong, xmlSAX2GetLineNumber(userData));
            return;
        }
        state.events->text(view(text, length));
    });
}

void cdataEvent(void* userData, const xmlChar* text, int length) {
    deliver(userData, static_cast<std::size_t>(length), [&](ParseState& state) {
        state.textLength = 0;
        state.events->cdata(view(text, length));
    });
}

void commentEvent(void* userData, const xmlChar* text) {
    deliver(userData, static_cast<std::size_t>(xmlStrlen(text)), [&](ParseState& state) {
        state.textLength = 0;
        state.events->comment(xml::text(text));
    });
}

void instructionEvent(void* userData, const xmlChar* target, const xmlChar* data) {
    const auto bytes =
        static_cast<std::size_t>(xmlStrlen(target)) + static_cast<std::size_t>(xmlStrlen(data));
    deliver(userData, bytes, [&](ParseState& state) {
        state.textLength = 0;
        state.events->instruction(xml::text(target), data);
    });
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
    const std::string reason = first ? first->first : std::string("No se pudo leer el documento XML");
    const int line = first ? first->second : 0;
    throw EDOMParseError(reason + "\r\n" + "Line" + ": " + std::to_string(line) + "\r\n" +
                         sourceLineStart(source, line, 40));
}

// NOENT expands internal entities; the guard refuses every external one, and
// without HUGE libxml2 keeps its limits on entity amplification and depth.
constexpr int kResponseOptions =
    XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_COMPACT;

using ParserContext = std::unique_ptr<xmlParserCtxt, ParserContextDeleter>;

ParserContext newContext(ParseState& state) {
    ParserContext context(xmlNewParserCtxt());
    if (!context)
        throw EDOMParseError("out of memory");
    state.document = context.get();
    context->_private = &state;
    context->sax->serror = recordError;
    return context;
}

std::unique_ptr<xmlDoc, XmlDocDeleter> read(xmlParserCtxtPtr context, Source& source, int options) {
    source.stream.seek(0);
    return std::unique_ptr<xmlDoc, XmlDocDeleter>(
        xmlCtxtReadIO(context, readSource, keepSourceOpen, &source, nullptr, nullptr, options));
}

// A namespace fault (an undeclared prefix) leaves libxml2's document "well
// formed"; a namespace-aware DOM rejects it.
bool rejected(const std::unique_ptr<xmlDoc, XmlDocDeleter>& document, xmlParserCtxtPtr context,
              const ParseState& state) {
    return !document || !context->nsWellFormed || state.errors.undeclaredEntity;
}

} // namespace

void readResponse(ByteStream& source, ResponseEvents& events) {
    ExternalEntityGuard noExternalReads;
    SilentGenericErrors quiet;
    ParseState state;
    state.events = &events;
    const ParserContext context = newContext(state);
    // libxml2's own handlers keep the document type and its entities; these
    // build nothing. Without a tree libxml2 parses an entity's content again
    // at each reference, handing it on each time.
    xmlSAXHandler& sax = *context->sax;
    sax.startElementNs = startElementEvent;
    sax.endElementNs = endElementEvent;
    sax.characters = textEvent;
    sax.ignorableWhitespace = textEvent;
    sax.cdataBlock = cdataEvent;
    sax.comment = commentEvent;
    sax.processingInstruction = instructionEvent;

    Source from{source, state.read};
    const auto shell = read(context.get(), from, kResponseOptions);
    if (state.failure)
        std::rethrow_exception(state.failure);
    if (state.refused || rejected(shell, context.get(), state))
        rejectSource(source, state.errors);
}

std::unique_ptr<xmlDoc, XmlDocDeleter> parseResponse(ByteStream& source) {
    ExternalEntityGuard noExternalReads;
    SilentGenericErrors quiet;
    ParseState state;
    const ParserContext context = newContext(state);
    context->sax->endElementNs = endElementInTree;
    // NOBLANKS spares building most white-space-only nodes (only runs that end
    // at markup and touch no text, so no text is cut); endElementInTree removes the rest.
    Source from{source, state.read};
    auto document = read(context.get(), from, kResponseOptions | XML_PARSE_NOBLANKS);
    if (rejected(document, context.get(), state))
        rejectSource(source, state.errors);
    return document;
}

} // namespace cto

// The answer's element cut out of a whole tree, as a namespace-aware DOM does
// it: the reference that the one-pass reader must match. It shares nothing
// with that reader but the failure kinds and the Spanish words for libxml2's
// codes: its own parse set-up, its own reading of names and SOAP faults, and
// libxml2's own serialiser over a copy of the element.
#include "response/DomExtraction.h"

#include "common/FailureKinds.h"
#include "response/XmlErrorTexts.h"

#include <libxml/parser.h>
#include <libxml/xmlsave.h>

#include <iconv.h>

#include <cerrno>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cto::dom {

namespace {

constexpr const char* kTarget = "RespuestaSolicitudEncuesta";
constexpr const char* kTargetNamespace = "RespuestaSolicitud.xsd";

struct DocDeleter {
    void operator()(xmlDocPtr doc) const noexcept { xmlFreeDoc(doc); }
};
struct ContextDeleter {
    void operator()(xmlParserCtxtPtr context) const noexcept { xmlFreeParserCtxt(context); }
};
struct NsDeleter {
    void operator()(xmlNsPtr ns) const noexcept { xmlFreeNs(ns); }
};
struct CharDeleter {
    void operator()(xmlChar* text) const noexcept { xmlFree(text); }
};
using Doc = std::unique_ptr<xmlDoc, DocDeleter>;

std::string str(const xmlChar* text) {
    return text != nullptr ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

// What the parser reports, through libxml2's global handler.
struct Reported {
    std::optional<std::pair<std::string, int>> fatal;
    std::optional<std::pair<std::string, int>> error;
    std::optional<int> hugeText;
    bool undeclaredEntity = false;

    // Faults of the input's encoding come twice, once outside the parser;
    // the parser's own report names its context.
    static void collect(void* self, xmlErrorPtr error) {
        auto& reported = *static_cast<Reported*>(self);
        if (error->ctxt == nullptr)
            return;
        if (error->code == XML_WAR_UNDECLARED_ENTITY)
            reported.undeclaredEntity = true;
        if (error->code == XML_ERR_NO_MEMORY &&
            str(reinterpret_cast<const xmlChar*>(error->message)).find("huge text") != std::string::npos)
            reported.hugeText = reported.hugeText.value_or(error->line);
        if (error->level < XML_ERR_ERROR && error->code != XML_WAR_UNDECLARED_ENTITY)
            return;
        std::string message = str(reinterpret_cast<const xmlChar*>(error->message));
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
            message.pop_back();
        auto& slot = error->level == XML_ERR_FATAL ? reported.fatal : reported.error;
        if (!slot)
            slot.emplace(xmlRefusalText(error->code, message), error->line);
    }
};

xmlParserInputPtr refuseExternal(const char*, const char*, xmlParserCtxtPtr) {
    return nullptr;
}

// The whole answer as UTF-8 in the given encoding, as far as it is valid in
// it; whether it all was (an incomplete last character aside).
std::pair<std::string, bool> decoded(std::string_view answer, const char* encoding) {
    iconv_t converter = iconv_open("UTF-8", encoding);
    std::string text(answer.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(answer.data());
    std::size_t inLeft = answer.size();
    char* out = text.data();
    std::size_t outLeft = text.size();
    const std::size_t done = iconv(converter, &in, &inLeft, &out, &outLeft);
    const bool valid = done != static_cast<std::size_t>(-1) || errno != EILSEQ;
    iconv_close(converter);
    text.resize(text.size() - outLeft);
    return {text, valid};
}

const char* guessedEncoding(std::string_view answer) {
    using namespace std::string_view_literals;
    const auto startsWith = [answer](std::string_view bytes) {
        return answer.substr(0, bytes.size()) == bytes;
    };
    if (startsWith("\0\0\xfe\xff"sv) || startsWith("\0\0\0<"sv))
        return "UTF-32BE";
    if (startsWith("\xff\xfe\0\0"sv) || startsWith("<\0\0\0"sv))
        return "UTF-32LE";
    if (startsWith("\xef\xbb\xbf"sv))
        return "UTF-8";
    if (startsWith("\xfe\xff"sv) || startsWith("\0<"sv))
        return "UTF-16BE";
    if (startsWith("\xff\xfe"sv) || startsWith("<\0"sv))
        return "UTF-16LE";
    return "UTF-8";
}

// The first `count` characters of line `line` (counted from 1): read in the
// encoding the answer's first bytes name, else as Latin-1 when the answer is
// not valid in it up to that line's end; carriage returns and byte-order
// marks left out.
std::string sourceLine(std::string_view answer, int line, std::size_t count) {
    for (const char* encoding : {guessedEncoding(answer), "ISO-8859-1"}) {
        const auto [text, valid] = decoded(answer, encoding);
        std::size_t begin = 0;
        for (int current = 1; current < line && begin != std::string::npos; ++current) {
            begin = text.find('\n', begin);
            if (begin != std::string::npos)
                ++begin;
        }
        if (begin == std::string::npos && !valid)
            continue;
        if (line < 1 || begin == std::string::npos)
            return std::string();
        const std::size_t end = text.find('\n', begin);
        if (end == std::string::npos && !valid)
            continue;
        std::string wanted = text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        for (std::size_t at; (at = wanted.find('\r')) != std::string::npos;)
            wanted.erase(at, 1);
        for (std::size_t at; (at = wanted.find("\xef\xbb\xbf")) != std::string::npos;)
            wanted.erase(at, 3);
        std::size_t cut = 0;
        for (std::size_t characters = 0; cut < wanted.size(); ++cut)
            if ((static_cast<unsigned char>(wanted[cut]) & 0xc0) != 0x80 && characters++ == count)
                break;
        return wanted.substr(0, cut);
    }
    return std::string();
}

// The answer is read as the program reads a file, through libxml2's input
// callbacks, a piece at a time: libxml2 words a fault in the input's encoding
// by how much of it it holds.
struct MemoryInput {
    std::string_view rest;

    static int read(void* self, char* buffer, int length) {
        auto& input = *static_cast<MemoryInput*>(self);
        const std::size_t n = std::min(input.rest.size(), static_cast<std::size_t>(std::max(length, 0)));
        std::copy_n(input.rest.data(), n, buffer);
        input.rest.remove_prefix(n);
        return static_cast<int>(n);
    }
    static int close(void*) { return 0; }
};

Doc parse(std::string_view answer) {
    Reported reported;
    const xmlExternalEntityLoader loader = xmlGetExternalEntityLoader();
    xmlSetExternalEntityLoader(refuseExternal);
    const xmlStructuredErrorFunc handler = xmlStructuredError;
    void* handlerContext = xmlStructuredErrorContext;
    xmlSetStructuredErrorFunc(&reported, Reported::collect);
    std::unique_ptr<xmlParserCtxt, ContextDeleter> context(xmlNewParserCtxt());
    MemoryInput input{answer};
    Doc doc(xmlCtxtReadIO(context.get(), MemoryInput::read, MemoryInput::close, &input, nullptr, nullptr,
                          XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    xmlSetStructuredErrorFunc(handlerContext, handler);
    xmlSetExternalEntityLoader(loader);

    if (doc && context->nsWellFormed && !reported.undeclaredEntity && !reported.hugeText)
        return doc;
    std::pair<std::string, int> first{"No se pudo leer el documento XML", 0};
    if (reported.hugeText)
        first = {"Un texto de la respuesta supera el límite de 10.000.000 bytes que admite el programa",
                 *reported.hugeText};
    else if (reported.fatal)
        first = *reported.fatal;
    else if (reported.error)
        first = *reported.error;
    throw EDOMParseError(first.first + "\r\nLine: " + std::to_string(first.second) + "\r\n" +
                         sourceLine(answer, first.second, 40));
}

// Every node of the tree in document order, into elements and the document type.
template <typename Visit> xmlNodePtr firstInOrder(xmlNodePtr top, Visit wanted) {
    for (xmlNodePtr node = top; node != nullptr; node = node->next) {
        if (wanted(node))
            return node;
        if (node->type == XML_ELEMENT_NODE || node->type == XML_DTD_NODE)
            if (xmlNodePtr found = firstInOrder(node->children, wanted))
                return found;
    }
    return nullptr;
}

// The tree as a DOM that keeps no white-space-only text holds it: adjacent
// texts as one, and no text of white space alone.
void normalise(xmlNodePtr parent) {
    for (xmlNodePtr child = parent->children; child != nullptr;) {
        xmlNodePtr next = child->next;
        if (child->type == XML_TEXT_NODE && next != nullptr && next->type == XML_TEXT_NODE) {
            xmlNodeAddContent(child, next->content);
            xmlUnlinkNode(next);
            xmlFreeNode(next);
            continue;
        }
        if (child->type == XML_ELEMENT_NODE)
            normalise(child);
        child = next;
    }
    for (xmlNodePtr child = parent->children; child != nullptr;) {
        xmlNodePtr next = child->next;
        const std::string text = child->type == XML_TEXT_NODE ? str(child->content) : std::string("x");
        if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
            xmlUnlinkNode(child);
            xmlFreeNode(child);
        }
        child = next;
    }
}

std::string domName(xmlNodePtr node) {
    switch (node->type) {
    case XML_ELEMENT_NODE:
        return node->ns != nullptr && node->ns->prefix != nullptr
                   ? str(node->ns->prefix) + ":" + str(node->name)
                   : str(node->name);
    case XML_ENTITY_DECL: {
        const auto type = reinterpret_cast<xmlEntityPtr>(node)->etype;
        return type == XML_INTERNAL_PARAMETER_ENTITY || type == XML_EXTERNAL_PARAMETER_ENTITY
                   ? std::string()
                   : str(node->name);
    }
    case XML_PI_NODE:
    case XML_DTD_NODE:
        return str(node->name);
    default:
        return std::string();
    }
}

xmlNodePtr childNamed(xmlNodePtr parent, const char* localName) {
    for (xmlNodePtr child = parent->children; child != nullptr; child = child->next)
        if (child->type == XML_ELEMENT_NODE && str(child->name) == localName)
            return child;
    return nullptr;
}

std::string trimmedContent(xmlNodePtr node) {
    const std::unique_ptr<xmlChar, CharDeleter> content(xmlNodeGetContent(node));
    const std::string text = str(content.get());
    const auto first = text.find_first_not_of(" \t\r\n");
    return first == std::string::npos ? std::string()
                                      : text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

[[noreturn]] void reportMissing(xmlDocPtr doc) {
    std::string message = "La respuesta del servicio no contiene el elemento RespuestaSolicitudEncuesta";
    const xmlNodePtr fault = firstInOrder(doc->children, [](xmlNodePtr node) {
        if (node->type != XML_ELEMENT_NODE)
            return false;
        const std::string ns = node->ns != nullptr ? str(node->ns->href) : std::string();
        return str(node->name) == "Fault" && (ns == "http://schemas.xmlsoap.org/soap/envelope/" ||
                                              ns == "http://www.w3.org/2003/05/soap-envelope");
    });
    if (fault != nullptr) {
        std::string string;
        if (xmlNodePtr faultString = childNamed(fault, "faultstring")) {
            string = trimmedContent(faultString);
        } else if (xmlNodePtr reason = childNamed(fault, "Reason")) {
            xmlNodePtr text = childNamed(reason, "Text");
            string = trimmedContent(text != nullptr ? text : reason);
        }
        message += ". El servicio ha devuelto un fallo SOAP: \"" + string + "\"";
    }
    throw EXMLDocError(message);
}

// Prefixes named in xsi:type values are declared on the element itself where
// they come from outside it, since a copy reconciles only names.
void declareTypePrefixes(xmlNodePtr element) {
    const auto declare = [element](xmlNodePtr node) {
        if (node->type != XML_ELEMENT_NODE)
            return false;
        for (xmlAttrPtr attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
            if (attribute->ns == nullptr ||
                str(attribute->ns->href) != "http://www.w3.org/2001/XMLSchema-instance" ||
                str(attribute->name) != "type")
                continue;
            const std::unique_ptr<xmlChar, CharDeleter> value(
                xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attribute)));
            const std::string type = str(value.get());
            const auto colon = type.find(':');
            if (colon == std::string::npos || colon == 0 || type.substr(0, colon) == "xml")
                continue;
            const std::string prefix = type.substr(0, colon);
            const auto* name = reinterpret_cast<const xmlChar*>(prefix.c_str());
            xmlNsPtr used = xmlSearchNs(node->doc, node, name);
            if (used != nullptr && xmlSearchNs(node->doc, element, name) == used) {
                bool declaredOnElement = false;
                for (xmlNsPtr ns = element->nsDef; ns != nullptr; ns = ns->next)
                    declaredOnElement = declaredOnElement || ns == used;
                if (!declaredOnElement)
                    xmlNewNs(element, used->href, used->prefix);
            }
        }
        return false;
    };
    declare(element);
    firstInOrder(element->children, declare);
}

// libxml2 2.9 writes a namespace URI as it is; "&" and "<" in it would not read back.
void escapeUris(xmlNodePtr element) {
    for (xmlNsPtr ns = element->nsDef; ns != nullptr; ns = ns->next) {
        std::string escaped;
        for (const char c : str(ns->href))
            escaped += c == '&' ? std::string("&amp;") : c == '<' ? std::string("&lt;") : std::string(1, c);
        xmlFree(const_cast<xmlChar*>(ns->href));
        ns->href = xmlStrdup(reinterpret_cast<const xmlChar*>(escaped.c_str()));
    }
}

int append(void* target, const char* bytes, int length) {
    static_cast<std::string*>(target)->append(bytes, static_cast<std::size_t>(length));
    return length;
}

// The element copied into a document of its own (libxml2 declares on the copy
// what it uses from outside), the target namespace its default one, no
// default undeclared inside it, written whole.
std::string standalone(xmlNodePtr element) {
    declareTypePrefixes(element);
    const Doc copyDoc(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0")));
    xmlNodePtr copy = xmlDocCopyNode(element, copyDoc.get(), 1);
    xmlDocSetRootElement(copyDoc.get(), copy);

    xmlNsPtr own = nullptr;
    for (xmlNsPtr ns = copy->nsDef; ns != nullptr; ns = ns->next)
        if (ns->prefix == nullptr)
            own = ns;
    if (own != nullptr) {
        xmlFree(const_cast<xmlChar*>(own->href));
        own->href = xmlStrdup(reinterpret_cast<const xmlChar*>(kTargetNamespace));
    } else {
        xmlNewNs(copy, reinterpret_cast<const xmlChar*>(kTargetNamespace), nullptr);
    }

    std::vector<std::unique_ptr<xmlNs, NsDeleter>> undeclared;
    const auto shape = [&undeclared, copy](xmlNodePtr node) {
        if (node->type != XML_ELEMENT_NODE)
            return false;
        if (node != copy)
            for (xmlNsPtr* link = &node->nsDef; *link != nullptr;) {
                if ((*link)->prefix == nullptr && str((*link)->href).empty()) {
                    undeclared.emplace_back(*link);
                    *link = (*link)->next;
                    undeclared.back()->next = nullptr;
                } else {
                    link = &(*link)->next;
                }
            }
        escapeUris(node);
        return false;
    };
    shape(copy);
    firstInOrder(copy->children, shape);

    std::string markup;
    xmlOutputBufferPtr output = xmlOutputBufferCreateIO(append, nullptr, &markup, nullptr);
    xmlNodeDumpOutput(output, copyDoc.get(), copy, 0, 0, "UTF-8");
    xmlOutputBufferClose(output);
    return markup;
}

} // namespace

std::string extraerRespuestaDeMemoria(std::string_view responseBytes) {
    const Doc doc = parse(responseBytes);
    normalise(reinterpret_cast<xmlNodePtr>(doc.get()));
    const xmlNodePtr found =
        firstInOrder(doc->children, [](xmlNodePtr node) { return domName(node) == kTarget; });
    if (found == nullptr)
        reportMissing(doc.get());
    if (found->type != XML_ELEMENT_NODE)
        throw EXMLDocError("Attributes are not supported on this node type");
    return standalone(found);
}

} // namespace cto::dom

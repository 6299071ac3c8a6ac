#include "response/MarkupWriter.h"

#include "common/FailureKinds.h"

#include <libxml/parserInternals.h>
#include <libxml/xmlsave.h>

#include <new>

namespace cto {

struct MarkupWriter::Buffer {
    explicit Buffer(xmlOutputBufferPtr buffer) : get(buffer) {
        if (get == nullptr)
            throw std::bad_alloc();
    }
    ~Buffer() { xmlOutputBufferClose(get); }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    xmlOutputBufferPtr get;
};

namespace {

// Writes no declaration and escapes as the document would be written whole.
void dump(xmlOutputBufferPtr buffer, xmlNodePtr node) {
    xmlNodeDumpOutput(buffer, node->doc, node, 0, 0, "UTF-8");
}

} // namespace

MarkupWriter::MarkupWriter(ByteStream& target)
    : target_(target),
      output_(std::make_unique<Buffer>(xmlOutputBufferCreateIO(toStream, nullptr, this, nullptr))),
      tag_(xmlBufferCreate()) {
    if (!tag_)
        throw std::bad_alloc();
}

MarkupWriter::~MarkupWriter() = default;

int MarkupWriter::toStream(void* writer, const char* bytes, int length) {
    auto* self = static_cast<MarkupWriter*>(writer);
    try {
        self->target_.writeBuffer(bytes, static_cast<std::size_t>(length));
        return length;
    } catch (...) {
        self->failure_ = std::current_exception();
        return -1;
    }
}

void MarkupWriter::check() {
    if (failure_)
        std::rethrow_exception(failure_);
    if (output_->get->error != 0)
        throw EXMLDocError("The element could not be written out");
}

// Put together as libxml2's node writer puts a start tag together (its
// declarations, then its attributes), from the same escaping functions,
// without setting up a writer for each element.
std::string MarkupWriter::startTag(xmlNodePtr element) {
    xmlBufferPtr tag = tag_.get();
    xmlBufferEmpty(tag);
    const auto add = [tag](const xmlChar* text) {
        if (text != nullptr)
            xmlBufferCat(tag, text);
    };
    xmlBufferCCat(tag, "<");
    if (element->ns != nullptr && element->ns->prefix != nullptr) {
        add(element->ns->prefix);
        xmlBufferCCat(tag, ":");
    }
    add(element->name);
    for (xmlNsPtr ns = element->nsDef; ns != nullptr; ns = ns->next) {
        if (ns->type != XML_LOCAL_NAMESPACE || ns->href == nullptr ||
            xmlStrEqual(ns->prefix, reinterpret_cast<const xmlChar*>("xml")))
            continue;
        xmlBufferCCat(tag, ns->prefix != nullptr ? " xmlns:" : " xmlns");
        add(ns->prefix);
        xmlBufferCCat(tag, "=");
        xmlBufferWriteQuotedString(tag, ns->href);
    }
    for (xmlAttrPtr attribute = element->properties; attribute != nullptr; attribute = attribute->next) {
        xmlBufferCCat(tag, " ");
        if (attribute->ns != nullptr && attribute->ns->prefix != nullptr) {
            add(attribute->ns->prefix);
            xmlBufferCCat(tag, ":");
        }
        add(attribute->name);
        xmlBufferCCat(tag, "=\"");
        for (xmlNodePtr part = attribute->children; part != nullptr; part = part->next) {
            if (part->type == XML_TEXT_NODE) {
                xmlAttrSerializeTxtContent(tag, attribute->doc, attribute, part->content);
            } else if (part->type == XML_ENTITY_REF_NODE) {
                xmlBufferCCat(tag, "&");
                add(part->name);
                xmlBufferCCat(tag, ";");
            }
        }
        xmlBufferCCat(tag, "\"");
    }
    return std::string(reinterpret_cast<const char*>(xmlBufferContent(tag)),
                       static_cast<std::size_t>(xmlBufferLength(tag)));
}

void MarkupWriter::writeNode(xmlNodePtr node) {
    // Text, by far the most frequent, is escaped as the whole-node writer
    // escapes it (no escaping callback with UTF-8 output), without setting
    // up a writer for each node.
    if (node->type == XML_TEXT_NODE && node->name == xmlStringText) {
        if (node->content != nullptr)
            xmlOutputBufferWriteEscape(output_->get, node->content, nullptr);
    } else {
        dump(output_->get, node);
    }
    check();
}

void MarkupWriter::write(std::string_view bytes) {
    xmlOutputBufferWrite(output_->get, static_cast<int>(bytes.size()), bytes.data());
    check();
}

void MarkupWriter::flush() {
    xmlOutputBufferFlush(output_->get);
    check();
}

} // namespace cto

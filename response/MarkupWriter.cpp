#include "response/MarkupWriter.h"

#include "common/FailureKinds.h"
#include "response/XmlNode.h"

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

const xmlChar* xmlText(std::string_view text) {
    return reinterpret_cast<const xmlChar*>(text.data());
}

// libxml2 2.9 writes a namespace declaration's URI between quotes as it is,
// so "&" and "<" are escaped first, or the markup would not read back.
std::string escapedUri(std::string_view uri) {
    std::string escaped;
    escaped.reserve(uri.size());
    for (const char c : uri) {
        if (c == '&')
            escaped += "&amp;";
        else if (c == '<')
            escaped += "&lt;";
        else
            escaped += c;
    }
    return escaped;
}

} // namespace

MarkupWriter::MarkupWriter(ByteStream& target)
    : target_(target),
      output_(std::make_unique<Buffer>(xmlOutputBufferCreateIO(toStream, nullptr, this, nullptr))),
      tag_(xmlBufferCreate()), escaping_(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"))) {
    if (!tag_ || !escaping_)
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

void MarkupWriter::setEncodingNamed(bool named) {
    xmlFree(const_cast<xmlChar*>(escaping_->encoding));
    escaping_->encoding = nullptr;
    if (named) {
        escaping_->encoding = xmlStrdup(reinterpret_cast<const xmlChar*>("UTF-8"));
        if (escaping_->encoding == nullptr)
            throw std::bad_alloc();
    }
}

std::string MarkupWriter::tagText() {
    return std::string(reinterpret_cast<const char*>(xmlBufferContent(tag_.get())),
                       static_cast<std::size_t>(xmlBufferLength(tag_.get())));
}

std::string MarkupWriter::declaration(std::string_view prefix, std::string_view uri) {
    xmlBufferPtr tag = tag_.get();
    xmlBufferEmpty(tag);
    if (prefix.empty()) {
        xmlBufferCCat(tag, " xmlns=");
    } else {
        xmlBufferCCat(tag, " xmlns:");
        xmlBufferAdd(tag, xmlText(prefix), static_cast<int>(prefix.size()));
        xmlBufferCCat(tag, "=");
    }
    const std::string escaped = escapedUri(uri);
    xmlBufferWriteQuotedString(tag, reinterpret_cast<const xmlChar*>(escaped.c_str()));
    return tagText();
}

// Put together as libxml2's node writer puts attributes together, from the
// same escaping function.
std::string MarkupWriter::attributes(const StartTag& tag) {
    xmlBufferPtr buffer = tag_.get();
    xmlBufferEmpty(buffer);
    for (int i = 0; i < tag.attributeCount; ++i) {
        const xmlChar** attribute = tag.attributes + static_cast<std::ptrdiff_t>(i) * 5;
        xmlBufferCCat(buffer, " ");
        if (attribute[1] != nullptr) {
            xmlBufferCat(buffer, attribute[1]);
            xmlBufferCCat(buffer, ":");
        }
        xmlBufferCat(buffer, attribute[0]);
        xmlBufferCCat(buffer, "=\"");
        value_.assign(reinterpret_cast<const char*>(attribute[3]),
                      static_cast<std::size_t>(attribute[4] - attribute[3]));
        xmlAttrSerializeTxtContent(buffer, escaping_.get(), nullptr,
                                   reinterpret_cast<const xmlChar*>(value_.c_str()));
        xmlBufferCCat(buffer, "\"");
    }
    return tagText();
}

// Escaped as the whole-node writer escapes text written as UTF-8 (no escaping
// callback), without setting up a writer for each node.
void MarkupWriter::writeText(const std::string& content) {
    xmlOutputBufferWriteEscape(output_->get, reinterpret_cast<const xmlChar*>(content.c_str()), nullptr);
    check();
}

// A parsed section never holds "]]>", which would have ended it.
void MarkupWriter::writeCdata(std::string_view content) {
    write("<![CDATA[");
    write(content);
    write("]]>");
}

void MarkupWriter::writeComment(std::string_view content) {
    write("<!--");
    write(content);
    write("-->");
}

void MarkupWriter::writeInstruction(std::string_view target, const xmlChar* data) {
    write("<?");
    write(target);
    if (data != nullptr) {
        write(" ");
        write(xml::text(data));
    }
    write("?>");
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

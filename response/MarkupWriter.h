#pragma once

#include "common/ByteStream.h"
#include "response/ResponseParser.h"
#include "response/XmlDocument.h"

#include <libxml/tree.h>

#include <exception>
#include <memory>
#include <string>
#include <string_view>

namespace cto {

// Writes nodes as libxml2 serialises them (UTF-8, no indentation, its own
// escaping) into a stream, through one buffer.
class MarkupWriter {
public:
    explicit MarkupWriter(ByteStream& target);
    ~MarkupWriter();
    MarkupWriter(const MarkupWriter&) = delete;
    MarkupWriter& operator=(const MarkupWriter&) = delete;

    // libxml2 writes non-ASCII characters of attribute values as character
    // references unless the document named its encoding.
    void setEncodingNamed(bool named);

    // " xmlns:prefix="uri"" (" xmlns="uri"" for an empty prefix).
    std::string declaration(std::string_view prefix, std::string_view uri);
    // The tag's attributes, each with its leading space.
    std::string attributes(const StartTag& tag);

    // A text's content; it must end in a NUL, as a std::string's does.
    void writeText(const std::string& content);
    void writeCdata(std::string_view content);
    void writeComment(std::string_view content);
    void writeInstruction(std::string_view target, const xmlChar* data);
    void write(std::string_view bytes);
    // Everything written reaches the stream. EWriteError or the stream's own
    // failure when it could not take it.
    void flush();

private:
    struct Buffer;
    static int toStream(void* writer, const char* bytes, int length);
    std::string tagText();
    void check();

    ByteStream& target_;
    std::unique_ptr<Buffer> output_;
    struct TagBufferDeleter {
        void operator()(xmlBufferPtr buffer) const noexcept { xmlBufferFree(buffer); }
    };
    std::unique_ptr<xmlBuffer, TagBufferDeleter> tag_;
    // Tells libxml2's attribute escaping whether the encoding was named.
    std::unique_ptr<xmlDoc, XmlDocDeleter> escaping_;
    std::string value_;
    std::exception_ptr failure_;
};

} // namespace cto

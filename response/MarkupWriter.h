#pragma once

#include "common/ByteStream.h"

#include <libxml/tree.h>

#include <exception>
#include <memory>
#include <string>
#include <string_view>

namespace cto {

// Writes nodes of one document as libxml2 serialises them (UTF-8, no
// indentation) into a stream, through one buffer.
class MarkupWriter {
public:
    explicit MarkupWriter(ByteStream& target);
    ~MarkupWriter();
    MarkupWriter(const MarkupWriter&) = delete;
    MarkupWriter& operator=(const MarkupWriter&) = delete;

    // The element's start tag with its declarations and attributes, without
    // the closing ">" or "/>"; the element's children are left out.
    std::string startTag(xmlNodePtr element);
    // The whole node, which must not be an element with children.
    void writeNode(xmlNodePtr node);
    void write(std::string_view bytes);
    // Everything written reaches the stream. EWriteError or the stream's own
    // failure when it could not take it.
    void flush();

private:
    struct Buffer;
    static int toStream(void* writer, const char* bytes, int length);
    void check();

    ByteStream& target_;
    std::unique_ptr<Buffer> output_;
    struct TagBufferDeleter {
        void operator()(xmlBufferPtr buffer) const noexcept { xmlBufferFree(buffer); }
    };
    std::unique_ptr<xmlBuffer, TagBufferDeleter> tag_;
    std::exception_ptr failure_;
};

} // namespace cto

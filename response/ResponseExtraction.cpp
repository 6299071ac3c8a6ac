#include "response/ResponseExtraction.h"

#include "common/FileStream.h"
#include "response/ElementExtractor.h"

namespace cto {

ResponseSummary extractResponse(ByteStream& answer, ByteStream& element, ByteStream& spool) {
    ElementExtractor extractor(spool);
    readResponse(answer, extractor);
    extractor.finish();

    element.writeBuffer(extractor.rootStartTag());
    if (!extractor.rootHasContent()) {
        element.writeBuffer("/>");
    } else {
        element.writeBuffer(">");
        element.copyFrom(spool);
        element.writeBuffer("</");
        element.writeBuffer(kRespuestaTag);
        element.writeBuffer(">");
    }
    return extractor.summary();
}

namespace {

std::string extract(ByteStream& answer) {
    MemoryStream element;
    MemoryStream spool;
    extractResponse(answer, element, spool);
    return element.takeBytes();
}

} // namespace

std::string extraerRespuesta(const std::string& responsePath) {
    FileStream file = FileStream::openForReading(responsePath);
    return extract(file);
}

std::string extraerRespuestaDeMemoria(std::string_view responseBytes) {
    MemoryStream memory{std::string(responseBytes)};
    return extract(memory);
}

} // namespace cto

#include "response/ResponseExtraction.h"

#include "common/FailureKinds.h"
#include "common/FileStream.h"
#include "response/ResponseSearch.h"
#include "response/SoapFault.h"
#include "response/StandaloneElement.h"
#include "response/XmlDocument.h"

namespace cto {

namespace {

[[noreturn]] void reportMissingElement(const XmlDocument& document) {
    std::string message = "La respuesta del servicio no contiene el elemento RespuestaSolicitudEncuesta";
    if (const auto fault = soapFaultString(document.get()))
        message += ". El servicio ha devuelto un fallo SOAP: \"" + *fault + "\"";
    throw EXMLDocError(message);
}

std::string extract(ByteStream& source) {
    // The working document lives only inside this call: it is gone before the
    // caller loads the binding's own document.
    XmlDocument document = XmlDocument::parse(source);
    xmlNodePtr element = buscarNodoRespuesta(reinterpret_cast<xmlNodePtr>(document.get()));
    if (element == nullptr)
        reportMissingElement(document);
    return writeStandaloneElement(document, element, static_cast<std::size_t>(source.size()));
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

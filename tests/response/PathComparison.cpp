#include "response/PathComparison.h"

#include "common/Exception.h"
#include "response/DomExtraction.h"
#include "response/ResponseExtraction.h"
#include "response/ResponseSummary.h"
#include "response/RespuestaSolicitud.h"

namespace cto::test {

namespace {

std::string shown(const SummaryField& field) {
    return (field.failed() ? "failure " : "text ") + field.shown();
}

std::string shown(const std::string& element, const ResponseSummary& summary) {
    return element + "\n--\nNumeroOrden: " + shown(summary.numeroOrden) +
           "\nCodigoControl: " + shown(summary.codigoControl) + "\nAcuseEnvio: " + shown(summary.acuseEnvio) +
           "\nerrors: " + std::to_string(summary.errorCount);
}

template <typename Run> std::string outcome(Run run) {
    try {
        return run();
    } catch (const Exception& failure) {
        return std::string("failure ") + failure.kindName() + ": " + failure.message();
    }
}

} // namespace

std::string streamedPath(std::string_view answer) {
    return outcome([&] {
        MemoryStream source{std::string(answer)};
        MemoryStream element;
        MemoryStream spool;
        const ResponseSummary summary = extractResponse(source, element, spool);
        return shown(element.bytes(), summary);
    });
}

std::string referencePath(std::string_view answer) {
    return outcome([&] {
        const std::string element = dom::extraerRespuestaDeMemoria(answer);
        return shown(element, summaryOf(*cargarRespuestaDeMemoria(element)));
    });
}

} // namespace cto::test

#include "response/ResponseSummary.h"

#include "common/FailureKinds.h"

#include <functional>

namespace cto {

SummaryField SummaryField::text(std::string value) {
    SummaryField field;
    field.text_ = std::move(value);
    return field;
}

SummaryField SummaryField::failure(std::string message) {
    SummaryField field;
    field.text_ = std::move(message);
    field.failed_ = true;
    return field;
}

const std::string& SummaryField::value() const {
    if (failed_)
        throw EXMLDocError(text_);
    return text_;
}

namespace {

SummaryField readField(const std::function<std::string()>& read) {
    try {
        return SummaryField::text(read());
    } catch (const EXMLDocError& failure) {
        return SummaryField::failure(failure.message());
    }
}

} // namespace

ResponseSummary summaryOf(IXMLRespuestaSolicitudEncuesta& response) {
    ResponseSummary summary;
    summary.numeroOrden = readField([&] { return response.NumeroOrden(); });
    summary.codigoControl = readField([&] { return response.CodigoControl(); });
    summary.acuseEnvio = readField([&] { return response.AcuseEnvio(); });
    summary.errorCount = response.Errores()->Error()->Count();
    return summary;
}

} // namespace cto

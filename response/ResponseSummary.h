#pragma once

#include "response/RespuestaSolicitud.h"

#include <string>

namespace cto {

// One text field of the answer as the binding reads it: its text, or the
// failure the binding raises when the field holds more than one text.
class SummaryField {
public:
    static SummaryField text(std::string value);
    static SummaryField failure(std::string message);

    // The text; EXMLDocError with the binding's message for a failed field.
    const std::string& value() const;
    bool failed() const noexcept { return failed_; }
    // The text, or the failure's message.
    const std::string& shown() const noexcept { return text_; }

    bool operator==(const SummaryField&) const = default;

private:
    std::string text_;
    bool failed_ = false;
};

// What the outcome of a send needs from the office's answer. The number of
// errors is the number of Error items of the first Errores element.
struct ResponseSummary {
    SummaryField numeroOrden;
    SummaryField codigoControl;
    SummaryField acuseEnvio;
    int errorCount = 0;

    bool operator==(const ResponseSummary&) const = default;
};

// The same read through the binding from a loaded answer.
ResponseSummary summaryOf(IXMLRespuestaSolicitudEncuesta& response);

} // namespace cto

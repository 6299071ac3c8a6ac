#pragma once

#include "SurveyCheck.h"

#include <string>

namespace cto::office {

// The office's answer to one survey: the RespuestaSolicitudEncuesta element
// alone (unqualified, compact) and the SOAP envelope that carries it.
struct OfficeAnswer {
    std::string orderNumber;
    std::string element;
    std::string envelope;
    bool accepted = false;
};

// Builds the answer: a receipt (order number, control code, acknowledgement)
// when the survey reads without faults, else the list of its faults. The
// control code is taken from the survey's bytes; receivedAt is the office's
// clock, "dd/MM/yyyy hh:mm:ss".
OfficeAnswer answerSurvey(const std::string& body, const SurveyReading& reading, int sequence,
                          const std::string& receivedAt);

} // namespace cto::office

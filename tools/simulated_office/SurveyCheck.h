#pragma once

#include <string>
#include <vector>

namespace cto::office {

// One fault the office finds in a survey, as its answer lists it.
struct SurveyFault {
    std::string type;        // TipoError
    long long line = 0;      // LineaError
    std::string description; // DescripcionError
};

// What the office reads from a survey it can process.
struct SurveyReading {
    std::string registration; // NumeroRegistro of the establishment
    std::string period;       // "MM/YYYY"
    std::vector<SurveyFault> faults;
};

// Reads an accommodation survey (root EncuestaAlojamiento) the way the
// office's service would: a well-formed document, the establishment's
// registration number, a period of month and year, and whole non-negative
// counts of arrivals and overnight stays per place of residence.
SurveyReading readSurvey(const std::string& body);

} // namespace cto::office

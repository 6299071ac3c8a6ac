#pragma once

#include "transport/PlatformErrors.h"

#include <cstdint>

namespace cto::http {

// What a refusal of the server's certificate means here: the security flag
// that tolerates it (0 when nothing may) and the error number it fails with.
struct CertificateProblem {
    std::uint32_t toleratingFlag;
    PlatformError error;
};

// The problem behind one of OpenSSL's X509_V_ERR_* verdicts.
CertificateProblem certificateProblem(long verifyError);

} // namespace cto::http

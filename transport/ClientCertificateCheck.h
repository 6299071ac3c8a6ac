#pragma once

#include "transport/ClientCertificate.h"

namespace cto::http {

// True when the certificate and its private key can both be read and belong together.
bool keyMatchesCertificate(const ClientCertificate& certificate);

} // namespace cto::http

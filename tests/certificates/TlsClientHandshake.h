#pragma once

#include "transport/ClientCertificate.h"

#include <cstdint>
#include <string>

namespace cto::test {

// Connects to 127.0.0.1:port over TLS with OpenSSL, trusting the CA, presents
// the client certificate with its intermediates as the transport does, sends
// one GET request and reads the head of its answer.
// Throws std::runtime_error when the handshake or the request fails.
void requestWithClientCertificate(std::uint16_t port, const std::string& caCertificatePath,
                                  const ClientCertificate& certificate);

} // namespace cto::test

#pragma once

#include "common/Credentials.h"
#include "transport/ClientCertificate.h"
#include "transport/RequestFlags.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cto::http {

// Used when none is set on the request: a server that never answers the
// connection does not hold the program for ever.
inline constexpr std::chrono::milliseconds kDefaultConnectTimeout{60'000};

// What a request asks for, as its owner set it; each send of it turns this into libcurl's options.
struct RequestSettings {
    std::string objectName;
    std::uint32_t flags = 0; // kFlag*, and security flags to tolerate from the first attempt
    std::uint32_t securityFlags = 0;
    std::chrono::milliseconds connectTimeout = kDefaultConnectTimeout;
    std::vector<std::string> headerLines;                       // "Name: value", sent as given
    std::shared_ptr<const ClientCertificate> clientCertificate; // none: the request goes without one
    std::string clientCertificateName; // how the user knows it, for messages: "«name» (where it is kept)"
    // Credentials the hook gave for the office's 401 (in place of the
    // connection's) and for the proxy's challenge; each kept for the resends.
    std::optional<Credentials> serverAnswered, proxyAnswered;
    std::string body; // the whole body, when it is sent in one go; kept for resends

    // The security flags in force.
    std::uint32_t toleratedFlags() const { return securityFlags | (flags & kSecurityFlagsAmongRequestFlags); }
};

} // namespace cto::http

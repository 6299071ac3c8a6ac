#pragma once

#include "transport/CurlOwners.h"
#include "transport/RequestSettings.h"
#include "transport/Session.h"

#include <cstdint>
#include <optional>
#include <string>

namespace cto::http {

// The proxy a request goes through, in libcurl's form ("" to go direct);
// nothing when the system's settings could not be read, and libcurl reads the
// environment itself.
std::optional<std::string> proxyFor(Connection& connection, const RequestSettings& settings);

// The URL that the system's proxy settings are asked about for requests to
// objectName on that host and port.
std::string proxyLookupUrl(bool secure, const std::string& host, int port, const std::string& objectName);

// One send of a request, as the options libcurl needs for it.
struct EasyConfiguration {
    Connection& connection;
    const RequestSettings& settings;
    // Set when the body comes through the read callback in pieces, this long in
    // all; else it is the settings' body, whole.
    std::optional<std::uint64_t> piecesLength;
    // A pooled connection made under other security flags must not carry it.
    bool freshConnection = false;
    // The proxy, as proxyFor answered it.
    std::optional<std::string> proxy;

    // Resets the handle and sets every option of the send but the transfer's
    // own callbacks. libcurl reads the header list answered, and the settings,
    // until the transfer ends.
    HeaderList apply(CURL* easy) const;
};

} // namespace cto::http

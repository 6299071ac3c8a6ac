#pragma once

#include "transport/CurlOwners.h"
#include "transport/RequestSettings.h"
#include "transport/Session.h"

#include <cstdint>
#include <optional>

namespace cto::http {

// One send of a request, as the options libcurl needs for it.
struct EasyConfiguration {
    Connection& connection;
    const RequestSettings& settings;
    // Set when the body comes through the read callback in pieces, this long in
    // all; else it is the settings' body, whole.
    std::optional<std::uint64_t> piecesLength;
    // A pooled connection made under other security flags must not carry it.
    bool freshConnection = false;

    // Resets the handle and sets every option of the send but the transfer's
    // own callbacks. libcurl reads the header list answered, and the settings,
    // until the transfer ends.
    HeaderList apply(CURL* easy) const;
};

} // namespace cto::http

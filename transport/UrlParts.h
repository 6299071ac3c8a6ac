#pragma once

#include <string>

namespace cto::http {

inline constexpr int kSchemeUnknown = 0;
inline constexpr int kSchemeHttp = 3;
inline constexpr int kSchemeHttps = 4;

struct UrlParts {
    int scheme = kSchemeUnknown;
    std::string host;
    int port = 0;
    std::string objectName; // from the start of the path to the end of the text, query included
};

// Splits a URL; scheme kSchemeUnknown when it is neither http nor https, or unreadable.
UrlParts crackUrl(const std::string& url);

} // namespace cto::http

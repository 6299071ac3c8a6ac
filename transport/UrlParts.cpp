#include "transport/UrlParts.h"

#include "transport/CurlOwners.h"

#include <cstdlib>
#include <cstring>

namespace cto::http {

UrlParts crackUrl(const std::string& url) {
    UrlParts parts;
    UrlHandle handle(curl_url());
    if (!handle ||
        curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return parts;
    CurlText scheme, host, port;
    char* text = nullptr;
    if (curl_url_get(handle.get(), CURLUPART_SCHEME, &text, 0) == CURLUE_OK)
        scheme.reset(text);
    text = nullptr;
    if (curl_url_get(handle.get(), CURLUPART_HOST, &text, 0) == CURLUE_OK)
        host.reset(text);
    text = nullptr;
    if (curl_url_get(handle.get(), CURLUPART_PORT, &text, CURLU_DEFAULT_PORT) == CURLUE_OK)
        port.reset(text);
    if (!scheme || !host || !port)
        return parts;
    if (std::strcmp(scheme.get(), "http") == 0)
        parts.scheme = kSchemeHttp;
    else if (std::strcmp(scheme.get(), "https") == 0)
        parts.scheme = kSchemeHttps;
    else
        return parts;
    parts.host = host.get();
    if (parts.host.size() > 2 && parts.host.front() == '[')
        parts.host = parts.host.substr(1, parts.host.size() - 2);
    parts.port = std::atoi(port.get());
    // The object name is the original text, not libcurl's normalised form, so
    // that a final "?" survives.
    const auto authority = url.find("//");
    const auto pathStart =
        authority == std::string::npos ? std::string::npos : url.find_first_of("/?#", authority + 2);
    parts.objectName = pathStart == std::string::npos ? std::string() : url.substr(pathStart);
    return parts;
}

} // namespace cto::http

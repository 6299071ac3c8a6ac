#include "transport/EasyConfiguration.h"

#include "common/AsciiText.h"
#include "common/Trim.h"

namespace cto::http {

namespace {

std::string hostForUrl(const std::string& host) {
    return host.find(':') != std::string::npos && host.front() != '[' ? "[" + host + "]" : host;
}

std::string origin(bool secure, const std::string& host, int port) {
    return std::string(secure ? "https://" : "http://") + hostForUrl(host) + ":" + std::to_string(port);
}

std::string requestTarget(const std::string& objectName) {
    return objectName.empty() || objectName.front() != '/' ? "/" + objectName : objectName;
}

bool isSecure(const RequestSettings& settings) {
    return settings.flags & kFlagSecure;
}

void setTarget(CURL* easy, const Connection& connection, const RequestSettings& settings) {
    const std::string url = origin(isSecure(settings), connection.host, connection.port) + "/";
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    // The object name goes on the request line exactly as written.
    curl_easy_setopt(easy, CURLOPT_REQUEST_TARGET, requestTarget(settings.objectName).c_str());
}

// Whether the bypass list (libcurl's form: entries separated by commas) names
// the host: "*", the host itself, or a domain it is in (".example" or "example").
bool bypassed(const std::string& bypass, const std::string& host) {
    std::string_view rest = bypass;
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        std::string_view entry = trimmed(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        if (entry.starts_with('.'))
            entry.remove_prefix(1);
        if (entry.empty())
            continue;
        if (entry == "*" || equalsIgnoringCase(host, entry))
            return true;
        if (host.size() > entry.size() && host[host.size() - entry.size() - 1] == '.' &&
            equalsIgnoringCase(std::string_view(host).substr(host.size() - entry.size()), entry))
            return true;
    }
    return false;
}

void setProxy(CURL* easy, const std::optional<std::string>& proxy) {
    if (proxy) {
        // "" goes direct, whatever the environment says; libcurl copies the string.
        curl_easy_setopt(easy, CURLOPT_PROXY, proxy->c_str());
        curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
    }
}

void setAuthentication(CURL* easy, const Connection& connection, const RequestSettings& settings) {
    const std::optional<Credentials>& answered = settings.serverAnswered;
    const bool connectionOwn = !answered || answered->userName.empty();
    const std::string& user = connectionOwn ? connection.userName : answered->userName;
    const std::string& password = connectionOwn ? connection.password : answered->password;
    if (!user.empty()) {
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(easy, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, password.c_str());
    }
    if (const std::optional<Credentials>& proxy = settings.proxyAnswered) {
        curl_easy_setopt(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, proxy->userName.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, proxy->password.c_str());
    }
}

// libcurl verifies; the context hook tolerates what the security flags allow.
void setTls(CURL* easy, Session& session, const RequestSettings& settings) {
    const std::uint32_t tolerated = settings.toleratedFlags();
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, tolerated & kIgnoreCertNameInvalid ? 0L : 2L);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, tlsContextHook);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &session.tls());
    // The certificate goes to OpenSSL through the context hook. A TLS session
    // resumed from libcurl's cache would carry the identity it was made with,
    // whatever is attached now; each connection authenticates afresh instead.
    if (settings.clientCertificate)
        curl_easy_setopt(easy, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    if (tolerated & kIgnoreUnknownCa) {
        // Any authority is accepted, so the system's trust store could change no
        // verdict; loading it would only cost time on every connection.
        curl_easy_setopt(easy, CURLOPT_CAINFO, nullptr);
        curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
        return;
    }
    // The system's authorities are in its bundle file and, hashed, in its
    // folder: the folder is read only for the issuers a chain needs, where the
    // bundle (some 140 certificates) would be parsed whole on every connection.
    char* systemFolder = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_CAPATH, &systemFolder) == CURLE_OK && systemFolder && *systemFolder)
        curl_easy_setopt(easy, CURLOPT_CAINFO, nullptr);
}

void setConnectionUse(CURL* easy, const RequestSettings& settings, bool fresh) {
    if (fresh)
        curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
    if (!(settings.flags & kFlagKeepConnection))
        curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(settings.connectTimeout.count()));
}

// The given lines; libcurl's Accept and Expect left out; the connection kept or closed.
HeaderList headerList(const RequestSettings& settings) {
    HeaderList list;
    auto append = [&](const std::string& line) {
        // On success the grown list takes the old one's place; the owner must not free it.
        if (curl_slist* grown = curl_slist_append(list.get(), line.c_str())) {
            (void)list.release();
            list.reset(grown);
        }
    };
    for (const std::string& line : settings.headerLines) {
        // libcurl drops "Name:" lines; "Name;" is its way to send a header with no value.
        const auto colon = line.find(':');
        if (colon != std::string::npos && trimmed(std::string_view(line).substr(colon + 1)).empty())
            append(line.substr(0, colon) + ";");
        else
            append(line);
    }
    append("Accept:");
    append("Expect:");
    append(settings.flags & kFlagKeepConnection ? "Connection: Keep-Alive" : "Connection: close");
    return list;
}

void setBody(CURL* easy, const RequestSettings& settings, std::optional<std::uint64_t> piecesLength) {
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    if (piecesLength) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(*piecesLength));
    } else {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, settings.body.data());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(settings.body.size()));
    }
}

} // namespace

// A named proxy wins, unless its bypass list names the host; else the
// system's for the request's URL, its bypass list already applied (so
// libcurl's reading of no_proxy stays out of it). Deciding here, rather than
// leaving the bypass list to libcurl, lets the request know whether a 407 can
// be a proxy's at all.
std::optional<std::string> proxyFor(Connection& connection, const RequestSettings& settings) {
    Session& session = connection.session;
    if (!session.proxy().empty())
        return bypassed(session.proxyBypass(), connection.host) ? std::string() : session.proxy();
    return session.systemProxyFor(
        proxyLookupUrl(isSecure(settings), connection.host, connection.port, settings.objectName));
}

std::string proxyLookupUrl(bool secure, const std::string& host, int port, const std::string& objectName) {
    return origin(secure, host, port) + requestTarget(objectName);
}

HeaderList EasyConfiguration::apply(CURL* easy) const {
    curl_easy_reset(easy);
    setTarget(easy, connection, settings);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, connection.session.agent().c_str());
    setProxy(easy, proxy);
    setAuthentication(easy, connection, settings);
    setTls(easy, connection.session, settings);
    setConnectionUse(easy, settings, freshConnection);
    HeaderList headers = headerList(settings);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());
    setBody(easy, settings, piecesLength);
    return headers;
}

} // namespace cto::http

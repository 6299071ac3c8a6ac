#include "transport/EasyConfiguration.h"

#include "common/Trim.h"

namespace cto::http {

namespace {

std::string hostForUrl(const std::string& host) {
    return host.find(':') != std::string::npos && host.front() != '[' ? "[" + host + "]" : host;
}

std::string origin(const Connection& connection, const RequestSettings& settings) {
    const bool secure = settings.flags & kFlagSecure;
    return std::string(secure ? "https://" : "http://") + hostForUrl(connection.host) + ":" +
           std::to_string(connection.port);
}

std::string requestTarget(const RequestSettings& settings) {
    const std::string& name = settings.objectName;
    return name.empty() || name.front() != '/' ? "/" + name : name;
}

void setTarget(CURL* easy, const Connection& connection, const RequestSettings& settings) {
    const std::string url = origin(connection, settings) + "/";
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    // The object name goes on the request line exactly as written.
    curl_easy_setopt(easy, CURLOPT_REQUEST_TARGET, requestTarget(settings).c_str());
}

// A named proxy wins; else the system's for the request's URL, its bypass
// list already applied (so libcurl's reading of no_proxy stays out of it).
// libcurl copies both strings.
void setProxy(CURL* easy, Connection& connection, const RequestSettings& settings) {
    Session& session = connection.session;
    if (!session.proxy().empty()) {
        curl_easy_setopt(easy, CURLOPT_PROXY, session.proxy().c_str());
        curl_easy_setopt(easy, CURLOPT_NOPROXY, session.proxyBypass().c_str());
    } else if (const auto& system =
                   session.systemProxyFor(origin(connection, settings) + requestTarget(settings))) {
        // "" goes direct, whatever the environment says.
        curl_easy_setopt(easy, CURLOPT_PROXY, system->c_str());
        curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
    }
    // A proxy's answer to CONNECT is not the server's answer: keep it out of the response headers.
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
}

void setAuthentication(CURL* easy, const Connection& connection, const RequestSettings& settings) {
    const Credentials& answered = settings.answered;
    const bool connectionOwn = answered.userName.empty() || settings.answeredForProxy;
    const std::string& user = connectionOwn ? connection.userName : answered.userName;
    const std::string& password = connectionOwn ? connection.password : answered.password;
    if (!user.empty()) {
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(easy, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, password.c_str());
    }
    if (settings.answeredForProxy) {
        curl_easy_setopt(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, answered.userName.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, answered.password.c_str());
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

HeaderList EasyConfiguration::apply(CURL* easy) const {
    curl_easy_reset(easy);
    setTarget(easy, connection, settings);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, connection.session.agent().c_str());
    setProxy(easy, connection, settings);
    setAuthentication(easy, connection, settings);
    setTls(easy, connection.session, settings);
    setConnectionUse(easy, settings, freshConnection);
    HeaderList headers = headerList(settings);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());
    setBody(easy, settings, piecesLength);
    return headers;
}

} // namespace cto::http

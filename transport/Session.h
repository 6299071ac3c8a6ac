#pragma once

#include "transport/CurlOwners.h"
#include "transport/TlsPolicy.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

// The HTTP client layer under THTTPReqResp: root, connection and request
// handles on libcurl's multi interface, driven on the calling thread.
namespace cto::http {

// How long the transfer waits on the network between two calls of the waiting hook.
inline constexpr std::chrono::milliseconds kWaitingInterval{50};

// The root handle: the connection pool and the TLS record of the exchange in
// progress. The pool keeps one connection, made under one set of security
// flags and for one client identity.
class Session {
public:
    // trustedAuthorities: the authorities trusted besides the system's.
    Session(std::string agent, std::string proxy, const std::string& proxyBypass,
            std::vector<openssl::Certificate> trustedAuthorities);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    CURLM* multi() const { return multi_.get(); }
    TlsPolicy& tls() { return tls_; }
    const std::string& agent() const { return agent_; }
    const std::string& proxy() const { return proxy_; }
    const std::string& proxyBypass() const { return proxyBypass_; }
    // The system's proxy for a URL, as systemProxyFor answers it; looked up
    // once per URL, on the first request that goes there unless remembered.
    const std::optional<std::string>& systemProxyFor(const std::string& url);
    // An answer of systemProxyFor found before the session opened.
    void rememberSystemProxy(const std::string& url, const std::optional<std::string>& answer) {
        systemProxies_.emplace(url, answer);
    }

    // Whether the pooled connection may carry a request under these security
    // flags with this client identity (the client certificate's DER, empty
    // without one): only when it was made under the same. Remembers them for
    // the connection the request will then use.
    bool pooledFor(std::uint32_t securityFlags, const std::string& clientIdentity);

    // Answers false to stop the transfer.
    std::function<bool()> onWaiting;
    // Calls onWaiting at most once per interval, however fast the transfer
    // spins; false when it asked to stop.
    bool wait();

private:
    TlsPolicy tls_; // before multi_: the pool's connections point at it until they close
    MultiHandle multi_;
    std::string agent_, proxy_, proxyBypass_;
    std::chrono::steady_clock::time_point lastWaiting_{};
    bool pooled_ = false;
    std::uint32_t pooledFlags_ = 0;
    std::string pooledIdentity_;
    std::map<std::string, std::optional<std::string>> systemProxies_;
};

// The connection handle: where requests go and with which credentials.
struct Connection {
    Session& session;
    bool secure = false;
    std::string host;
    int port = 0;
    std::string userName;
    std::string password;
};

} // namespace cto::http

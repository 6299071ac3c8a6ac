#include "transport/Session.h"

#include "transport/SystemProxy.h"

namespace cto::http {

namespace {

// The platform's proxy bypass list separates entries with ';' or blanks, libcurl with ','.
std::string curlBypassList(const std::string& bypass) {
    std::string list;
    std::string entry;
    auto flush = [&] {
        if (!entry.empty())
            list += (list.empty() ? "" : ",") + entry;
        entry.clear();
    };
    for (char c : bypass) {
        if (c == ';' || c == ',' || c == ' ' || c == '\t')
            flush();
        else
            entry += c;
    }
    flush();
    return list;
}

} // namespace

Session::Session(std::string agent, std::string proxy, const std::string& proxyBypass,
                 std::vector<openssl::Certificate> trustedAuthorities)
    : multi_(curl_multi_init()), agent_(std::move(agent)), proxy_(std::move(proxy)),
      proxyBypass_(curlBypassList(proxyBypass)) {
    tls_.extraAuthorities = std::move(trustedAuthorities);
    // libcurl tells a connection's client certificate by nothing of its own
    // (the certificate reaches OpenSSL through the context hook), so a pooled
    // connection of another identity must not stay to be picked: the fresh
    // connection that a change of identity opens pushes it out of a pool of one.
    if (multi_)
        curl_multi_setopt(multi_.get(), CURLMOPT_MAXCONNECTS, 1L);
}

Session::~Session() = default;

bool Session::wait() {
    const auto now = std::chrono::steady_clock::now();
    if (!onWaiting || now - lastWaiting_ < kWaitingInterval)
        return true;
    lastWaiting_ = now;
    return onWaiting();
}

const std::optional<std::string>& Session::systemProxyFor(const std::string& url) {
    auto found = systemProxies_.find(url);
    if (found == systemProxies_.end())
        found = systemProxies_.emplace(url, http::systemProxyFor(url)).first;
    return found->second;
}

bool Session::pooledFor(std::uint32_t securityFlags, const std::string& clientIdentity) {
    const bool same = !pooled_ || (pooledFlags_ == securityFlags && pooledIdentity_ == clientIdentity);
    pooled_ = true;
    pooledFlags_ = securityFlags;
    pooledIdentity_ = clientIdentity;
    return same;
}

} // namespace cto::http

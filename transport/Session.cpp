#include "transport/Session.h"

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
                 std::string trustedAuthorities)
    : multi_(curl_multi_init()), agent_(std::move(agent)), proxy_(std::move(proxy)),
      proxyBypass_(curlBypassList(proxyBypass)) {
    tls_.extraAuthorities = std::move(trustedAuthorities);
}

Session::~Session() = default;

bool Session::wait() {
    const auto now = std::chrono::steady_clock::now();
    if (!onWaiting || now - lastWaiting_ < kWaitingInterval)
        return true;
    lastWaiting_ = now;
    return onWaiting();
}

bool Session::pooledUnder(std::uint32_t securityFlags) {
    const bool same = !pooled_ || pooledFlags_ == securityFlags;
    pooled_ = true;
    pooledFlags_ = securityFlags;
    return same;
}

} // namespace cto::http

#include "transport/SystemProxy.h"

#include "common/AsciiText.h"

#include <proxy.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string_view>

namespace cto::http {
namespace {

struct ProxyFactoryDeleter {
    void operator()(pxProxyFactory* factory) const noexcept { px_proxy_factory_free(factory); }
};
struct ProxyListDeleter {
    void operator()(char** list) const noexcept { px_proxy_factory_free_proxies(list); }
};
using ProxyFactory = std::unique_ptr<pxProxyFactory, ProxyFactoryDeleter>;
using ProxyList = std::unique_ptr<char*, ProxyListDeleter>;

std::string_view schemeOf(std::string_view answer) {
    const auto end = answer.find("://");
    return end == std::string_view::npos ? std::string_view() : answer.substr(0, end);
}

bool oneOf(std::string_view scheme, std::initializer_list<std::string_view> names) {
    return std::any_of(names.begin(), names.end(),
                       [scheme](std::string_view name) { return equalsIgnoringCase(scheme, name); });
}

} // namespace

std::string curlProxyOf(const std::vector<std::string>& answers) {
    for (const std::string& answer : answers) {
        const std::string_view scheme = schemeOf(answer);
        if (oneOf(scheme, {"direct"}))
            return {};
        if (oneOf(scheme, {"http", "https", "socks4", "socks4a", "socks5", "socks5h"}))
            return answer;
        // libcurl would take "socks://" as SOCKS 4, which carries no IPv6
        // address and resolves names here; the desktops mean SOCKS 5 by it.
        if (oneOf(scheme, {"socks"}))
            return "socks5h" + answer.substr(scheme.size());
    }
    return {};
}

namespace {

std::optional<std::string> desktopProxyFor(const std::string& url) {
    const ProxyFactory factory(px_proxy_factory_new());
    if (!factory)
        return std::nullopt;
    const ProxyList list(px_proxy_factory_get_proxies(factory.get(), url.c_str()));
    if (!list)
        return std::nullopt;
    std::vector<std::string> answers;
    for (char** entry = list.get(); *entry; ++entry)
        answers.emplace_back(*entry);
    return curlProxyOf(answers);
}

} // namespace

std::optional<std::string> systemProxyFor(const std::string& url) {
    std::optional<std::string> proxy = desktopProxyFor(url);
    // libproxy does not read ALL_PROXY or all_proxy, which libcurl has always
    // honoured: with one of them set, libcurl reads the environment itself.
    if (proxy && proxy->empty())
        for (const char* name : {"ALL_PROXY", "all_proxy"})
            if (const char* value = std::getenv(name); value != nullptr && *value != 0)
                return std::nullopt;
    return proxy;
}

} // namespace cto::http

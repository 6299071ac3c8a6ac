#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cto::http {

// The proxy that the desktop's settings give for a URL, found as desktop
// programs find it (libproxy: the proxy environment variables, GNOME's and
// KDE's settings, and a PAC script or WPAD where a plugin can run them), in
// the form libcurl takes for CURLOPT_PROXY: "" to go direct,
// "scheme://[user:password@]host:port" through a proxy. Nothing when the
// settings cannot be read at all; libcurl then reads the environment itself.
// Loads libproxy's plugins, and may spawn their helpers, on every call.
std::optional<std::string> systemProxyFor(const std::string& url);

// Of libproxy's answers, best first, the first that libcurl can use:
// "direct://" as "", an HTTP, HTTPS or SOCKS proxy as itself ("socks://",
// SOCKS of no stated version, as SOCKS 5 resolving names at the proxy).
// Answers libcurl cannot follow ("pac+…", "wpad://", other schemes) are
// passed over; when nothing usable is left, the answer is "" (direct), as
// libproxy's own answer is when it cannot run a PAC script.
std::string curlProxyOf(const std::vector<std::string>& answers);

} // namespace cto::http

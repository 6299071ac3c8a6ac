#include "transport/ResponseHead.h"

#include "common/AsciiText.h"
#include "common/Trim.h"

#include <cstdlib>

namespace cto::http {

namespace {

std::string_view authRealm(std::string_view challenge) {
    const auto at = challenge.find("realm=\"");
    if (at == std::string_view::npos)
        return {};
    challenge.remove_prefix(at + 7);
    return challenge.substr(0, challenge.find('"'));
}

} // namespace

void ResponseHead::take(std::string_view line) {
    if (line.starts_with("HTTP/")) {
        // A new response (after an interim 1xx one): start its headers afresh.
        lines.clear();
        const std::string statusLine(trimRight(line, kLineEnds));
        const auto codeStart = statusLine.find(' ');
        const auto textStart =
            codeStart == std::string::npos ? codeStart : statusLine.find(' ', codeStart + 1);
        status = codeStart == std::string::npos ? 0 : std::atoi(statusLine.c_str() + codeStart + 1);
        statusText = textStart == std::string::npos
                         ? std::string()
                         : std::string(trimmed(std::string_view(statusLine).substr(textStart + 1)));
    } else if (line == "\r\n" || line == "\n") {
        if (status >= 200)
            complete = true;
    } else {
        lines.emplace_back(trimRight(line, kLineEnds));
    }
}

std::optional<std::string> ResponseHead::firstValue(std::string_view nameWithColon) const {
    for (const std::string& line : lines)
        if (startsWithIgnoringCase(line, nameWithColon))
            return std::string(trimmed(std::string_view(line).substr(nameWithColon.size())));
    return std::nullopt;
}

std::string ResponseHead::lastRealm(std::string_view nameWithColon) const {
    std::string realm;
    for (const std::string& line : lines)
        if (startsWithIgnoringCase(line, nameWithColon))
            realm = authRealm(line);
    return realm;
}

} // namespace cto::http

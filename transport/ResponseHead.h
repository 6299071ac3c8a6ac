#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cto::http {

// The status and header lines of the final response, as libcurl hands them over one by one.
struct ResponseHead {
    int status = 0;
    std::string statusText;
    std::vector<std::string> lines; // header lines, without their line ends
    bool complete = false;          // the empty line after a final (not 1xx) status came

    void take(std::string_view line);
    // The value of the first header of that name (given with its colon), blanks trimmed.
    std::optional<std::string> firstValue(std::string_view nameWithColon) const;
    // The realm of the last header of that name (given with its colon); empty when it names none.
    std::string lastRealm(std::string_view nameWithColon) const;
};

} // namespace cto::http

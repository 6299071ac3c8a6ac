#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>

#include "common/Trim.h"

namespace cto {

// One row of a library's codes in our words.
template <typename Code> struct CodeText {
    Code code;
    const char* text;
};

// The row's text for code, or nullptr when the table has none.
template <typename Code, std::size_t N> const char* textOf(const CodeText<Code> (&table)[N], Code code) {
    const auto found = std::find_if(std::begin(table), std::end(table),
                                    [&](const CodeText<Code>& row) { return row.code == code; });
    return found != std::end(table) ? found->text : nullptr;
}

// Our text, then a library's own words in parentheses, which support may need.
inline std::string withDetail(const std::string& text, std::string_view detail) {
    detail = trimRight(detail, kLineEnds);
    return detail.empty() ? text : text + " (" + std::string(detail) + ")";
}

// The library's meaning in Spanish, then its own words for the help desk.
inline std::string spanishThenLibrary(const std::string& spanish, std::string_view library) {
    library = trimRight(library, kLineEnds);
    return library.empty() ? spanish : spanish + ": " + std::string(library);
}

} // namespace cto

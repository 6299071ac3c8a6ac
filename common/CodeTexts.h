#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>

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

} // namespace cto

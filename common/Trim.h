#pragma once

#include <string_view>

namespace cto {

inline constexpr std::string_view kBlanks = " \t";
inline constexpr std::string_view kLineEnds = "\r\n";

// The text less the characters at its end for which unwanted(c) holds.
template <typename Unwanted> std::string_view trimRightIf(std::string_view text, Unwanted unwanted) {
    while (!text.empty() && unwanted(text.back()))
        text.remove_suffix(1);
    return text;
}

// The text less any of the characters at its end.
inline std::string_view trimRight(std::string_view text, std::string_view characters) {
    return trimRightIf(text, [characters](char c) { return characters.find(c) != std::string_view::npos; });
}

// The text less any of the characters at both ends.
inline std::string_view trimmed(std::string_view text, std::string_view characters = kBlanks) {
    const auto first = text.find_first_not_of(characters);
    return first == std::string_view::npos ? std::string_view() : trimRight(text.substr(first), characters);
}

} // namespace cto

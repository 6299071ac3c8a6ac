#pragma once

#include <string>
#include <string_view>

namespace cto {

// Why the XML reader refused a document, in Spanish, with the reader's own
// words after it in parentheses: they name the tags and lines that the help
// desk needs, and no table can.
std::string xmlRefusalText(int code, std::string_view readerWords);

} // namespace cto

#pragma once

#include <string>
#include <string_view>

namespace cto::test {

// One answer through a response path, as one text: the element's bytes and
// the outcome's fields, or the failure's kind and message.
std::string streamedPath(std::string_view answer);
// The same through the whole-tree reference, the fields read by the binding
// from the element it wrote.
std::string referencePath(std::string_view answer);

} // namespace cto::test

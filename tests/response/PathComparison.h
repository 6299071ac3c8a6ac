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

// Whether the two paths answered alike. Where an answer amplifies entities
// and is also wrong in another way, libxml2 finds the amplification at a
// point that depends on whether it builds a tree: either refusal then names
// a true fault of the answer.
bool sameOutcome(const std::string& streamed, const std::string& reference);

} // namespace cto::test

#pragma once

#include "response/ResponseParser.h"

#include <optional>
#include <string>
#include <string_view>

namespace cto {

// Follows a streaming read and keeps the string of the answer's first SOAP
// 1.1 or 1.2 Fault: the text of its first faultstring child, else of the
// first Text child of its first Reason child, else of that Reason; trimmed.
// A text made of white space alone is no part of it, as it is no node of the
// answer's tree.
class SoapFaultReader {
public:
    // `depth` is the element's own: 1 for the document element.
    void elementStarted(const StartTag& tag, int depth);
    void elementEnded(int depth);
    // Whether the texts and CDATA sections read now belong to the string.
    bool collecting() const noexcept { return faultStringDepth_ != 0 || reasonDepth_ != 0; }
    // A whole text, or a CDATA section's content.
    void text(std::string_view text);

    // Once the first fault has ended: its string, empty when it has none.
    const std::optional<std::string>& faultString() const noexcept { return faultString_; }

private:
    int faultDepth_ = 0; // 0: no fault open
    bool faultSeen_ = false;
    // The depths of the parts open now (0: not open), and whether each was seen.
    int faultStringDepth_ = 0;
    int reasonDepth_ = 0;
    int reasonTextDepth_ = 0;
    bool faultStringSeen_ = false;
    bool reasonSeen_ = false;
    bool reasonTextSeen_ = false;
    std::string faultStringText_;
    std::string reasonText_;
    std::string reasonTextText_;
    std::optional<std::string> faultString_;
};

} // namespace cto

#include "response/SoapFaultReader.h"

#include "common/Trim.h"
#include "response/XmlNode.h"

namespace cto {

namespace {

constexpr std::string_view kSoap11 = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr std::string_view kSoap12 = "http://www.w3.org/2003/05/soap-envelope";

bool isFault(const StartTag& tag) {
    const std::string_view ns = xml::text(tag.uri);
    return xml::text(tag.localName) == "Fault" && (ns == kSoap11 || ns == kSoap12);
}

} // namespace

void SoapFaultReader::elementStarted(const StartTag& tag, int depth) {
    if (faultDepth_ == 0) {
        if (!faultSeen_ && isFault(tag)) {
            faultSeen_ = true;
            faultDepth_ = depth;
        }
        return;
    }
    // Only the first child element of each name counts, whatever its namespace.
    const std::string_view name = xml::text(tag.localName);
    if (depth == faultDepth_ + 1) {
        if (name == "faultstring" && !faultStringSeen_) {
            faultStringSeen_ = true;
            faultStringDepth_ = depth;
        } else if (name == "Reason" && !reasonSeen_) {
            reasonSeen_ = true;
            reasonDepth_ = depth;
        }
    } else if (reasonDepth_ != 0 && depth == reasonDepth_ + 1 && name == "Text" && !reasonTextSeen_) {
        reasonTextSeen_ = true;
        reasonTextDepth_ = depth;
    }
}

void SoapFaultReader::elementEnded(int depth) {
    if (faultDepth_ == 0)
        return;
    if (depth == faultDepth_) {
        faultDepth_ = 0;
        const std::string& string = faultStringSeen_  ? faultStringText_
                                    : reasonTextSeen_ ? reasonTextText_
                                                      : reasonText_;
        faultString_ = std::string(trimmed(string, " \t\r\n"));
    } else if (depth == faultStringDepth_) {
        faultStringDepth_ = 0;
    } else if (depth == reasonTextDepth_) {
        reasonTextDepth_ = 0;
    } else if (depth == reasonDepth_) {
        reasonDepth_ = 0;
    }
}

void SoapFaultReader::text(std::string_view text) {
    if (faultStringDepth_ != 0) {
        faultStringText_ += text;
        return;
    }
    if (reasonDepth_ != 0)
        reasonText_ += text;
    if (reasonTextDepth_ != 0)
        reasonTextText_ += text;
}

} // namespace cto

#pragma once

#include "Exception.h"

namespace cto {

// Files and streams.
CTO_DECLARE_FAILURE_KIND(EFOpenError, Exception);
CTO_DECLARE_FAILURE_KIND(EFCreateError, Exception);
CTO_DECLARE_FAILURE_KIND(EReadError, Exception);
CTO_DECLARE_FAILURE_KIND(EWriteError, Exception);

// A silent stop; its message is always the same.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
    const char* kindName() const noexcept override { return "EAbort"; }
};

// XML document and its typed views.
CTO_DECLARE_FAILURE_KIND(EDOMParseError, Exception);
CTO_DECLARE_FAILURE_KIND(EXMLDocError, Exception);
CTO_DECLARE_FAILURE_KIND(EIntfCastError, Exception);
CTO_DECLARE_FAILURE_KIND(EVariantTypeCastError, Exception);
CTO_DECLARE_FAILURE_KIND(EVariantOverflowError, Exception);

// The certificate store.
CTO_DECLARE_FAILURE_KIND(EOleException, Exception);
CTO_DECLARE_FAILURE_KIND(EOleSysError, Exception);

// The HTTP exchange: StatusCode is the HTTP status for status errors, the
// transport error number for transport errors, 0 for the transport's own checks.
class ESOAPHTTPException : public Exception {
public:
    ESOAPHTTPException(std::string message, std::int32_t statusCode)
        : Exception(std::move(message)), statusCode_(statusCode) {}
    const char* kindName() const noexcept override { return "ESOAPHTTPException"; }
    std::int32_t StatusCode() const noexcept { return statusCode_; }

private:
    std::int32_t statusCode_;
};

} // namespace cto

#pragma once

#include "app/SendEngine.h"
#include "common/Exception.h"

#include <exception>
#include <string>

namespace cto {

// A failure that crossed the engine seam as a value, raised again on this
// side under the kind name it had where it was raised.
class ForwardedFailure : public Exception {
public:
    ForwardedFailure(std::string kind, std::string message)
        : Exception(std::move(message)), kind_(std::move(kind)) {}
    const char* kindName() const noexcept override { return kind_.c_str(); }

private:
    std::string kind_;
};

// Runs work and answers how it failed, so that nothing is thrown across the seam.
template <typename Work> Failure failureOf(Work&& work) noexcept {
    try {
        work();
        return {};
    } catch (const Exception& failure) {
        return {failure.kindName(), failure.message()};
    } catch (const std::exception& failure) {
        return {"Exception", failure.what()};
    } catch (...) {
        return {"Exception", "Unknown failure"};
    }
}

// Raises the failure that came across the seam, if any.
inline void raiseIfFailed(const Failure& failure) {
    if (failure)
        throw ForwardedFailure(failure.kind, failure.message);
}

} // namespace cto

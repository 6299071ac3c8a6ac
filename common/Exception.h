#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace cto {

// Every failure of the program. The kind name is part of what the user reads
// ("EFOpenError error, con el mensaje : ..."), so each kind states its own name
// explicitly instead of relying on RTTI.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}

    virtual const char* kindName() const noexcept { return "Exception"; }
    const std::string& message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// The text shown in the failure message box.
std::string failureMessage(const Exception& failure);

} // namespace cto

#define CTO_DECLARE_FAILURE_KIND(Name, Base)                                                                 \
    class Name : public Base {                                                                               \
    public:                                                                                                  \
        using Base::Base;                                                                                    \
        const char* kindName() const noexcept override { return #Name; }                                     \
    }

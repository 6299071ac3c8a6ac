#pragma once

#include <cstdint>

namespace cto::http {

// How a request is opened.
inline constexpr std::uint32_t kFlagKeepConnection = 0x00400000;
inline constexpr std::uint32_t kFlagSecure = 0x00800000;

// Security flags: which refusals of the server's certificate to tolerate. The
// name and date ones may also be among the flags a request is opened with, to
// be tolerated from its first attempt.
inline constexpr std::uint32_t kIgnoreRevocation = 0x80;
inline constexpr std::uint32_t kIgnoreUnknownCa = 0x100;
inline constexpr std::uint32_t kIgnoreCertNameInvalid = 0x1000;
inline constexpr std::uint32_t kIgnoreCertDateInvalid = 0x2000;

// The flags a request is opened with that are security flags as well.
inline constexpr std::uint32_t kSecurityFlagsAmongRequestFlags =
    kIgnoreCertNameInvalid | kIgnoreCertDateInvalid;

} // namespace cto::http

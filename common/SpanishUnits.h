#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace cto {

// A time as a person reads it in our messages: "1 min 5 s", "12 s", "0,3 s".
std::string spanishDuration(std::chrono::milliseconds time);

// A size in mebibytes: "256 MiB", "1,5 MiB".
std::string spanishMebibytes(std::int64_t bytes);

} // namespace cto

#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>

namespace cto {

// A time as a person reads it in our messages: "1 min 5 s", "12 s", "0,3 s".
std::string spanishDuration(std::chrono::milliseconds time);

// A size in mebibytes: "256 MiB", "1,5 MiB".
std::string spanishMebibytes(std::int64_t bytes);

// A date as our messages write it, with the month's short Spanish name:
// "1 ene 2024".
std::string spanishDate(int year, int month, int day);

// A moment in UTC, to the second: "1 ene 2025 00:00:00 UTC".
std::string spanishUtcTime(const std::tm& utc);

} // namespace cto

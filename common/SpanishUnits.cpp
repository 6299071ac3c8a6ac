#include "common/SpanishUnits.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace cto {

namespace {

// One decimal at most, written with a comma; none when it is zero.
std::string withOneDecimal(double value) {
    const auto tenths = static_cast<std::int64_t>(std::llround(value * 10));
    std::string text = std::to_string(tenths / 10);
    if (tenths % 10 != 0)
        text += "," + std::to_string(tenths % 10);
    return text;
}

} // namespace

std::string spanishDuration(std::chrono::milliseconds time) {
    const std::int64_t milliseconds = time.count() < 0 ? 0 : time.count();
    if (milliseconds < 60'000)
        return withOneDecimal(static_cast<double>(milliseconds) / 1000) + " s";
    const std::int64_t seconds = milliseconds / 1000;
    return std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s";
}

std::string spanishMebibytes(std::int64_t bytes) {
    return withOneDecimal(static_cast<double>(bytes) / (1024.0 * 1024.0)) + " MiB";
}

std::string spanishDate(int year, int month, int day) {
    static constexpr std::array<const char*, 12> kMonths{"ene", "feb", "mar",  "abr", "may", "jun",
                                                         "jul", "ago", "sept", "oct", "nov", "dic"};
    if (month < 1 || month > 12)
        return std::to_string(day) + "/" + std::to_string(month) + "/" + std::to_string(year);
    return std::to_string(day) + " " + kMonths[static_cast<std::size_t>(month - 1)] + " " +
           std::to_string(year);
}

std::string spanishUtcTime(const std::tm& utc) {
    char time[16];
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", utc.tm_hour, utc.tm_min, utc.tm_sec);
    return spanishDate(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday) + " " + time + " UTC";
}

} // namespace cto

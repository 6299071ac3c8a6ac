#include "common/SpanishUnits.h"

#include <cmath>

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

} // namespace cto

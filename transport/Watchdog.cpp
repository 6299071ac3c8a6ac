#include "transport/Watchdog.h"

#include "transport/TimeAnswering.h"

#include "common/SpanishUnits.h"

namespace cto::http {

void Watchdog::restart() {
    received = 0;
    answeredAtStart_ = timeSpentAnswering();
    started_ = now();
    lastUploaded_ = 0;
    lastReceived_ = 0;
}

std::optional<std::string> Watchdog::expired(curl_off_t connectedAt, curl_off_t uploaded,
                                             std::uint64_t toSend) {
    const auto current = now();
    if (const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(current - started_);
        spent >= wholeLimit)
        return "el intercambio duró " + spanishDuration(spent) + ", más de los " +
               spanishDuration(wholeLimit) + " que se permiten";
    if (connectedAt == 0 || uploaded != lastUploaded_ || received != lastReceived_) {
        lastUploaded_ = uploaded;
        lastReceived_ = received;
        lastProgress_ = current;
        return std::nullopt;
    }
    const bool sending = static_cast<std::uint64_t>(uploaded) < toSend && received == 0;
    const auto limit = sending ? sendLimit : receiveLimit;
    const auto silent = std::chrono::duration_cast<std::chrono::milliseconds>(current - lastProgress_);
    if (silent < limit)
        return std::nullopt;
    return std::string(sending ? "no se pudo enviar" : "no se recibió") + " ningún dato durante " +
           spanishDuration(silent);
}

std::chrono::milliseconds Watchdog::answeredSinceStart() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(timeSpentAnswering() - answeredAtStart_);
}

std::chrono::steady_clock::time_point Watchdog::now() const {
    return std::chrono::steady_clock::now() - (timeSpentAnswering() - answeredAtStart_);
}

} // namespace cto::http

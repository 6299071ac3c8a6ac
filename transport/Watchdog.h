#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace cto::http {

// Used when none is set on the request: a silent server never holds the program for ever.
inline constexpr std::chrono::milliseconds kDefaultSendTimeout{60'000};
inline constexpr std::chrono::milliseconds kDefaultReceiveTimeout{300'000};
// Long enough for a large answer on a slow line.
inline constexpr std::chrono::milliseconds kDefaultWholeTimeout{900'000};

// libcurl bounds the connection; this bounds silence afterwards (a send that
// makes no progress, an answer of which no byte arrives) and the whole
// transfer, however steadily the bytes trickle. Its clock stops while the
// user answers a prompt that opened inside the transfer (TimeAnswering.h).
class Watchdog {
public:
    std::chrono::milliseconds sendLimit = kDefaultSendTimeout;
    std::chrono::milliseconds receiveLimit = kDefaultReceiveTimeout;
    std::chrono::milliseconds wholeLimit = kDefaultWholeTimeout;
    std::uint64_t received = 0; // bytes of the answer so far, head included

    // A new transfer: nothing sent or received yet.
    void restart();
    // The caller waits from now on.
    void wake() { lastProgress_ = now(); }
    // Called as the transfer turns: the failure's text once the silence lasts too long.
    std::optional<std::string> expired(curl_off_t connectedAt, curl_off_t uploaded, std::uint64_t toSend);
    // The time the user has spent answering prompts since the transfer began.
    std::chrono::milliseconds answeredSinceStart() const;

private:
    // The transfer's own time: the steady clock less the time spent answering.
    std::chrono::steady_clock::time_point now() const;

    std::chrono::steady_clock::duration answeredAtStart_{};
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point lastProgress_;
    curl_off_t lastUploaded_ = 0;
    std::uint64_t lastReceived_ = 0;
};

} // namespace cto::http

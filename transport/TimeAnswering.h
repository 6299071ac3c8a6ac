#pragma once

#include <chrono>

namespace cto::http {

// How long, in all, the user has spent answering prompts that opened while a
// transfer was inside libcurl: a card that asks for its PIN again for each
// signature asks in the middle of the TLS handshake. The transfer's bounds
// leave that time out: it was the user who took it, not the server.
std::chrono::steady_clock::duration timeSpentAnswering() noexcept;

// Counts the time from its making to its end as time spent answering.
class AnsweringUser {
public:
    AnsweringUser() noexcept;
    ~AnsweringUser();
    AnsweringUser(const AnsweringUser&) = delete;
    AnsweringUser& operator=(const AnsweringUser&) = delete;

private:
    std::chrono::steady_clock::time_point started_;
};

} // namespace cto::http

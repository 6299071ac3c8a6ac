#include "transport/TimeAnswering.h"

#include <atomic>

namespace cto::http {

namespace {

std::atomic<std::chrono::steady_clock::rep>& answeringTicks() {
    static std::atomic<std::chrono::steady_clock::rep> ticks{0};
    return ticks;
}

} // namespace

std::chrono::steady_clock::duration timeSpentAnswering() noexcept {
    return std::chrono::steady_clock::duration(answeringTicks().load());
}

AnsweringUser::AnsweringUser() noexcept : started_(std::chrono::steady_clock::now()) {}

AnsweringUser::~AnsweringUser() {
    answeringTicks() += (std::chrono::steady_clock::now() - started_).count();
}

} // namespace cto::http

#include "app/windows/EndingSignals.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace cto {

namespace {

// The pipe's ends; the handler writes one byte per signal, which nothing else may do.
int signalPipe[2] = {-1, -1};

extern "C" void noteEndingSignal(int) {
    const int saved = errno;
    const char byte = 1;
    (void)!::write(signalPipe[1], &byte, 1); // full: a signal is already waiting to be read
    errno = saved;
}

} // namespace

EndingSignals::EndingSignals(std::function<void()> onSignal) : onSignal_(std::move(onSignal)) {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // the signals keep their default: the run ends as before
    notifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        onSignal_();
    });
    struct sigaction action {};
    action.sa_handler = noteEndingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

EndingSignals::~EndingSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (const int signal : {SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    notifier_.reset();
    for (int& end : signalPipe) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

} // namespace cto

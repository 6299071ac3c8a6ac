#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>

namespace cto {

// SIGTERM and SIGHUP (the desktop logging out, the terminal closing) end the
// run as the user's stop does, rather than kill it with a half-done exchange
// and the run's lock left behind: the handler only writes to a pipe, and the
// event loop, which the exchange keeps turning, calls onSignal. Installed
// once, in main, while the process has one thread.
class EndingSignals : public QObject {
public:
    explicit EndingSignals(std::function<void()> onSignal);
    ~EndingSignals() override;
    EndingSignals(const EndingSignals&) = delete;
    EndingSignals& operator=(const EndingSignals&) = delete;

private:
    std::function<void()> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace cto
